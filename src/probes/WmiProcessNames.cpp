#include "probes/WmiProcessNames.h"

#include "probes/ProcessSnapshot.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <string_view>
#include <vector>

namespace {

// Owns one reference to a COM interface.
template <typename Interface> class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    Interface** put() { return &pointer_; }
    void** putVoid() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    operator BSTR() const { return text_; }
    bool valid() const { return text_ != nullptr; }

private:
    BSTR text_;
};

class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* put() { return &value_; }
    const VARIANT& get() const { return value_; }

private:
    VARIANT value_;
};

// How long the whole process list may take to arrive. The caller waits less than this; the limit keeps a slow
// service from holding the query thread much longer than that.
constexpr ULONGLONG resultsWaitMs = 5000;

// The rows of one round trip, released together.
struct RowBatch {
    explicit RowBatch(unsigned long size) : rows(size, nullptr) {}
    ~RowBatch()
    {
        for (IWbemClassObject* row : rows) {
            if (row != nullptr) {
                row->Release();
            }
        }
    }
    RowBatch(const RowBatch&) = delete;
    RowBatch& operator=(const RowBatch&) = delete;

    std::vector<IWbemClassObject*> rows;
    ULONG count = 0;
};

// Impersonation, as the service's scripting moniker asks by default. A service running in this process has
// no proxy to set this on, which is no reason to give up.
void setProxySecurity(IUnknown* proxy)
{
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

bool nameMatches(IWbemClassObject* row, std::string_view name)
{
    Variant value;
    if (FAILED(row->Get(L"Name", 0, value.put(), nullptr, nullptr)) || value.get().vt != VT_BSTR ||
        value.get().bstrVal == nullptr) {
        return false;
    }
    return ProcessSnapshot::sameWideName(std::wstring_view(value.get().bstrVal, SysStringLen(value.get().bstrVal)),
                                         name);
}

} // namespace

std::optional<bool> WmiProcessNames::exeRunning(const std::string& name)
{
    ComRef<IWbemLocator> locator;
    if (FAILED(
            CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()))) {
        return std::nullopt;
    }
    // The service runs in a process of its own and may stop answering: the connection waits at most the
    // service's own limit of two minutes, the rows at most resultsWaitMs in all.
    const Bstr space(L"ROOT\\CIMV2");
    ComRef<IWbemServices> service;
    if (!space.valid() ||
        FAILED(locator->ConnectServer(space, nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                      nullptr, service.put()))) {
        return std::nullopt;
    }
    setProxySecurity(service.get());

    // Every name is fetched and compared here: a name pasted into the query text could end its string
    // literal, and the service folds the case of ASCII letters only.
    const Bstr language(L"WQL");
    const Bstr query(L"Select Name from Win32_Process");
    ComRef<IEnumWbemClassObject> rows;
    if (!language.valid() || !query.valid() ||
        FAILED(service->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                  rows.put()))) {
        return std::nullopt;
    }
    // The rows come back through a proxy of their own, which does not take the service's settings.
    setProxySecurity(rows.get());
    const ULONGLONG deadline = GetTickCount64() + resultsWaitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return std::nullopt;
        }
        RowBatch batch(rowsPerBatch_);
        const HRESULT result =
            rows->Next(static_cast<long>(deadline - now), rowsPerBatch_, batch.rows.data(), &batch.count);
        if (FAILED(result)) {
            return std::nullopt;
        }
        for (ULONG i = 0; i < batch.count && i < rowsPerBatch_; ++i) {
            if (batch.rows[i] != nullptr && nameMatches(batch.rows[i], name)) {
                return true;
            }
        }
        if (result == WBEM_S_FALSE) {
            return false; // the list ended
        }
        if (result != WBEM_S_NO_ERROR) {
            return std::nullopt; // no more rows in time
        }
    }
}
