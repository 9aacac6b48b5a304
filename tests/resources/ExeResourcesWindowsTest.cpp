#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include "systemlog/SystemEvents.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// Explorer, the taskbar and the loader read these resources of pylvane.exe and the program never does, so one
// lost from the build would go unnoticed. They are read here from the built file with Windows' own calls.

namespace {

const wchar_t* const executable = L"" PYLVANE_EXECUTABLE;

struct DataFile {
    HMODULE module = LoadLibraryExW(executable, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ~DataFile() { FreeLibrary(module); }
    QByteArray resource(LPCWSTR name, LPCWSTR type) const
    {
        HRSRC found = FindResourceW(module, name, type);
        return found ? QByteArray(static_cast<const char*>(LockResource(LoadResource(module, found))),
                                  SizeofResource(module, found))
                     : QByteArray();
    }
};

} // namespace

TEST(ExeResources, VersionInformationNamesTheProgramAndTheProjectVersion)
{
    std::vector<char> block(GetFileVersionInfoSizeW(executable, nullptr));
    ASSERT_TRUE(GetFileVersionInfoW(executable, 0, block.size(), block.data())) << "error " << GetLastError();
    const auto text = [&](const wchar_t* name) {
        void* value = nullptr;
        UINT chars = 0;
        const bool found = VerQueryValueW(block.data(), (L"\\StringFileInfo\\040904B0\\" + std::wstring(name)).c_str(),
                                          &value, &chars);
        return found ? QString::fromWCharArray(static_cast<const wchar_t*>(value)).toStdString() : "(missing)";
    };
    EXPECT_EQ(text(L"ProductName"), "Pylvane");
    EXPECT_EQ(text(L"FileDescription"), "Pylvane");
    EXPECT_EQ(text(L"OriginalFilename"), "pylvane.exe");
    EXPECT_EQ(text(L"FileVersion"), PYLVANE_VERSION);
    EXPECT_EQ(text(L"ProductVersion"), PYLVANE_VERSION);
}

TEST(ExeResources, FirstIconGroupHoldsEveryIconSizeOfTheArtwork)
{
    const DataFile exe;
    ASSERT_NE(exe.module, nullptr) << "error " << GetLastError();
    LPCWSTR first = nullptr; // Explorer shows the first group
    EnumResourceNamesW(
        exe.module, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
            *reinterpret_cast<LPCWSTR*>(out) = IS_INTRESOURCE(name) ? name : nullptr;
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&first));
    ASSERT_NE(first, nullptr) << "no numbered icon group";

    // A 6-byte header whose last word counts the 14-byte entries: width, height, ..., image length, image id.
    const QByteArray group = exe.resource(first, RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6);
    const int count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(group.size(), 6 + 14 * count);
    std::vector<int> sizes;
    for (const char* entry = group.data() + 6; entry < group.data() + group.size(); entry += 14) {
        EXPECT_EQ(entry[0], entry[1]) << "not square";
        sizes.push_back(BYTE(entry[0]));
        const WORD id = *reinterpret_cast<const WORD*>(entry + 12);
        EXPECT_EQ(exe.resource(MAKEINTRESOURCEW(id), RT_ICON).size(), *reinterpret_cast<const DWORD*>(entry + 8));
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 22, 32, 48, 64, 128}));
}

TEST(ExeResources, ManifestRunsAsInvokerOnWindows10WithPerMonitorDpiAndLongPaths)
{
    const DataFile exe;
    ASSERT_NE(exe.module, nullptr) << "error " << GetLastError();
    const QByteArray manifest = exe.resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
    // Windows does not start a program whose manifest does not parse.
    QXmlStreamReader xml(manifest);
    while (!xml.atEnd())
        xml.readNext();
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    for (const char* piece : {"level=\"asInvoker\"", "Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"", ">PerMonitorV2<",
                              "name=\"Microsoft.Windows.Common-Controls\"", ">true</longPathAware>"})
        EXPECT_TRUE(manifest.contains(piece)) << piece;
}

// Event Viewer puts an event's strings into the sentence of its ID in the message table; each must read as the
// journal's sentence of the same kind.
TEST(ExeResources, MessageTableHoldsTheSentenceOfEveryKindOfEvent)
{
    const DataFile exe;
    ASSERT_NE(exe.module, nullptr) << "error " << GetLastError();
    const wchar_t* const strings[] = {L"Cam3", L"10.0.0.%2", L"camera"};
    for (int k = 0; k <= int(SystemEventKind::StartedAfterUnorderlyEnd); ++k) {
        const auto kind = SystemEventKind(k);
        wchar_t* text = nullptr;
        const DWORD size = FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe.module,
            eventIdOf(kind), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text), 0,
            reinterpret_cast<va_list*>(const_cast<wchar_t**>(strings)));
        const QString sentence = size != 0 ? QString::fromWCharArray(text, int(size)) : QStringLiteral("(missing)");
        LocalFree(text);
        EXPECT_EQ(sentence.toStdString(),
                  SystemEvents::plainEvent(kind, {"Cam3", "10.0.0.%2", "camera"}).message.toStdString())
            << "event ID " << eventIdOf(kind);
    }
}
