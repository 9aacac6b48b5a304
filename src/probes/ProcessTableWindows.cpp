#include "probes/FileNameMatch.h"
#include "probes/ProcessTable.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <string_view>

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

// The UI thread may already have joined an apartment of the other kind; COM serves this thread all the
// same then, and only a join made here is undone here.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// How long the whole process list may take to arrive.
constexpr ULONGLONG resultsWaitMs = 5000;

// Impersonation, as the service's scripting moniker asks by default. A service running in this process has
// no proxy to set this on, which is no reason to give up.
void setProxySecurity(IUnknown* proxy)
{
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

bool nameMatches(const VARIANT& value, std::string_view name)
{
    if (value.vt != VT_BSTR || value.bstrVal == nullptr) {
        return false;
    }
    const int wideLength = static_cast<int>(SysStringLen(value.bstrVal));
    if (wideLength == 0) {
        return false;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, value.bstrVal, wideLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.bstrVal, wideLength, utf8.data(), size, nullptr, nullptr);
    return FileNameMatch::sameName(utf8, name);
}

} // namespace

bool exeRunning(const std::string& name)
{
    if (name.empty()) {
        return false;
    }
    ComApartment apartment;
    if (!apartment.usable()) {
        return false;
    }
    ComRef<IWbemLocator> locator;
    if (FAILED(
            CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()))) {
        return false;
    }
    // The service runs in a process of its own and may stop answering, while this runs on the UI thread: the
    // connection waits at most the service's own limit of two minutes, the rows at most resultsWaitMs in all.
    const Bstr space(L"ROOT\\CIMV2");
    ComRef<IWbemServices> service;
    if (!space.valid() ||
        FAILED(locator->ConnectServer(space, nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                      nullptr, service.put()))) {
        return false;
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
        return false;
    }
    // The rows come back through a proxy of their own, which does not take the service's settings.
    setProxySecurity(rows.get());
    const ULONGLONG deadline = GetTickCount64() + resultsWaitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        ComRef<IWbemClassObject> row;
        ULONG count = 0;
        if (rows->Next(static_cast<long>(deadline - now), 1, row.put(), &count) != WBEM_S_NO_ERROR || count != 1) {
            return false;
        }
        Variant value;
        if (SUCCEEDED(row->Get(L"Name", 0, value.put(), nullptr, nullptr)) && nameMatches(value.get(), name)) {
            return true;
        }
    }
}
