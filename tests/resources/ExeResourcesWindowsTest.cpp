#include <QByteArray>
#include <QSet>
#include <QString>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// Explorer, the taskbar and the loader read these resources of pylvane.exe; the program itself never does, so
// one lost from the build would go unnoticed. They are read here from the built file, with Windows' own calls.

namespace {

const wchar_t* const executable = L"" PYLVANE_EXECUTABLE;

struct DataFile {
    HMODULE module = LoadLibraryExW(executable, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ~DataFile()
    {
        if (module)
            FreeLibrary(module);
    }
    QByteArray resource(LPCWSTR name, LPCWSTR type) const
    {
        HRSRC found = FindResourceW(module, name, type);
        if (!found)
            return {};
        return QByteArray(static_cast<const char*>(LockResource(LoadResource(module, found))),
                          SizeofResource(module, found));
    }
};

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD iconId;
};
#pragma pack(pop)

} // namespace

TEST(ExeResources, VersionInformationNamesTheProgramAndTheProjectVersion)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(executable, &ignored);
    ASSERT_GT(size, 0u) << "no version information, error " << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(executable, 0, size, block.data()));

    // The strings are found through the translation that the block declares, as Explorer finds them.
    const WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void**)&translation, &length));
    ASSERT_GE(length, 2 * sizeof(WORD));
    const QString prefix = QString::asprintf("\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
    const auto text = [&](const char* name) {
        const std::wstring key = (prefix + name).toStdWString();
        void* value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(block.data(), key.c_str(), &value, &chars))
            return std::string("(missing)");
        return QString::fromWCharArray(static_cast<const wchar_t*>(value)).toStdString();
    };
    EXPECT_EQ(text("ProductName"), "Pylvane");
    EXPECT_EQ(text("FileDescription"), "Pylvane");
    EXPECT_EQ(text("OriginalFilename"), "pylvane.exe");
    EXPECT_EQ(text("FileVersion"), PYLVANE_VERSION);
    EXPECT_EQ(text("ProductVersion"), PYLVANE_VERSION);

    // The numbers that Windows compares when an installer replaces the file.
    const VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
    ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    for (const auto& [high, low] : {std::pair(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
                                    std::pair(fixed->dwProductVersionMS, fixed->dwProductVersionLS)})
        EXPECT_EQ(QString::asprintf("%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low)).toStdString(),
                  PYLVANE_VERSION ".0");
}

TEST(ExeResources, FirstIconGroupHoldsEveryIconSizeOfTheArtwork)
{
    const DataFile exe;
    ASSERT_NE(exe.module, nullptr) << "error " << GetLastError();
    // Explorer shows the first group, whatever its name; a name that is a string lives only during the callback.
    struct First {
        WORD id = 0;
        std::wstring name;
    } first;
    EnumResourceNamesW(
        exe.module, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
            auto* first = reinterpret_cast<First*>(out);
            if (IS_INTRESOURCE(name))
                first->id = LOWORD(name);
            else
                first->name = name;
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&first));
    ASSERT_TRUE(first.id || !first.name.empty()) << "no icon group";
    const QByteArray group = exe.resource(first.id ? MAKEINTRESOURCEW(first.id) : first.name.c_str(), RT_GROUP_ICON);

    ASSERT_GE(group.size(), 6);
    const WORD* header = reinterpret_cast<const WORD*>(group.data());
    EXPECT_EQ(header[1], 1) << "not an icon group";
    ASSERT_EQ(group.size(), 6 + header[2] * qsizetype(sizeof(GroupIconEntry)));
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(group.data() + 6);
    std::vector<int> sizes;
    for (int i = 0; i < header[2]; ++i) {
        EXPECT_EQ(entries[i].width, entries[i].height);
        sizes.push_back(entries[i].width);
        // Each entry points at an image of its own, of the length it claims.
        EXPECT_EQ(exe.resource(MAKEINTRESOURCEW(entries[i].iconId), RT_ICON).size(), qsizetype(entries[i].bytes));
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 22, 32, 48, 64, 128}));
}

TEST(ExeResources, ManifestRunsAsInvokerOnWindows10WithPerMonitorDpiAndLongPaths)
{
    const DataFile exe;
    ASSERT_NE(exe.module, nullptr) << "error " << GetLastError();
    const QByteArray manifest = exe.resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_FALSE(manifest.isEmpty()) << "no manifest";

    // A manifest that does not parse keeps Windows from starting the program at all.
    QSet<QString> facts;
    QXmlStreamReader xml(manifest);
    QString element;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            element = xml.name().toString();
            for (const QXmlStreamAttribute& attribute : xml.attributes())
                facts.insert(element + ' ' + attribute.name().toString() + '=' + attribute.value().toString());
        } else if (token == QXmlStreamReader::Characters && !xml.isWhitespace()) {
            facts.insert(element + '=' + xml.text().toString());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    for (const char* fact :
         {"requestedExecutionLevel level=asInvoker", "supportedOS Id={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "dpiAwareness=PerMonitorV2", "dpiAware=true/pm", "assemblyIdentity name=Microsoft.Windows.Common-Controls",
          "assemblyIdentity version=6.0.0.0", "longPathAware=true"})
        EXPECT_TRUE(facts.contains(fact)) << fact;
}
