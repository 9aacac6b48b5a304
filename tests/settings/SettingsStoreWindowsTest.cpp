#include "support/SettingsPlace.h"

#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const QString kKey = SettingsStore::kKeyPath;

void putRaw(const QString& key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.toStdWString().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(handle);
}

DWORD typeOf(const QString& key, const wchar_t* name)
{
    DWORD type = REG_NONE;
    // A value that is not there has no type, whatever the call leaves in `type`: Wine has been seen to leave REG_SZ.
    if (RegGetValueW(HKEY_CURRENT_USER, key.toStdWString().c_str(), name, RRF_RT_ANY, &type, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return REG_NONE;
    return type;
}

} // namespace

TEST(SettingsStoreRegistry, StringsRoundTripNumbersReadAsDecimalAndOtherTypesAsNothing)
{
    QString root;
    {
        SettingsPlace place;
        SettingsStore store(place.location());
        EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("a1")).has_value());
        EXPECT_FALSE(place.exists()) << "a read made the key";

        const QString texts[] = {QStringLiteral("  C:\\alert.cmd /x  "), QString(), QStringLiteral("caf\u00e9 \u65e5")};
        ASSERT_TRUE(store.WriteSettings({{"a1", texts[0]}, {"c1", texts[1]}, {"d1", texts[2]}}));
        EXPECT_EQ(typeOf(place.location(), L"a1"), DWORD(REG_SZ));
        EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("a1")), texts[0]);
        EXPECT_EQ(store.ReadSetting(QStringLiteral("hkcu\\software\\pylvane\\"), QStringLiteral("A1")), texts[0]);
        EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1")), texts[1]);
        EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("d1")), texts[2]);
        EXPECT_FALSE(store.WriteSetting(QStringLiteral("z9"), QStringLiteral("x")));
        EXPECT_EQ(typeOf(place.location(), L"z9"), DWORD(REG_NONE));

        const DWORD one = 1;
        const DWORD allOnes = 0xffffffff;
        const BYTE bytes[] = {'1', 0, 0, 0};
        const wchar_t list[] = L"1\0two\0";
        putRaw(place.location(), L"c1b", REG_DWORD, &one, sizeof one);
        putRaw(place.location(), L"c2b", REG_DWORD, &allOnes, sizeof allOnes);
        putRaw(place.location(), L"c3b", REG_BINARY, bytes, sizeof bytes);
        putRaw(place.location(), L"c4b", REG_MULTI_SZ, list, sizeof list);
        EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c1b")), QStringLiteral("1"));
        EXPECT_EQ(store.ReadSetting(kKey, QStringLiteral("c2b")), QStringLiteral("-1"));
        EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c3b")).has_value());
        EXPECT_FALSE(store.ReadSetting(kKey, QStringLiteral("c4b")).has_value());

        // A string written over a number becomes a string again.
        ASSERT_TRUE(store.WriteSetting(QStringLiteral("c1b"), QStringLiteral("0")));
        EXPECT_EQ(typeOf(place.location(), L"c1b"), DWORD(REG_SZ));
        root = place.location().section(u'\\', 0, 1);
    }
    HKEY gone = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, root.toStdWString().c_str(), 0, KEY_READ, &gone), ERROR_SUCCESS);

    SettingsPlace blocked;
    blocked.blockSaves();
    EXPECT_FALSE(SettingsStore(blocked.location()).WriteSetting(QStringLiteral("a1"), QStringLiteral("x")));
}

// The tray's notice switch lives beside the 71 values: missing means on, and a save of the 71 keeps it.
TEST(SettingsStoreRegistry, NotifyChangesIsKeptBesideTheSeventyOneAndASaveLeavesIt)
{
    SettingsPlace place;
    SettingsStore store(place.location());
    EXPECT_TRUE(store.notifyChanges());
    ASSERT_TRUE(store.setNotifyChanges(false));
    QList<SettingsStore::Value> values;
    for (const QString& name : SettingsStore::valueNames())
        values.append({name, QStringLiteral("1")});
    ASSERT_TRUE(store.WriteSettings(values));
    EXPECT_FALSE(SettingsStore(place.location()).notifyChanges());
    EXPECT_EQ(typeOf(place.location(), L"NotifyChanges"), DWORD(REG_SZ));
    // The second look before an alarm, beside it, as an administrator may set it: missing means off.
    EXPECT_FALSE(store.confirmDown());
    ASSERT_TRUE(store.setConfirmDown(true));
    ASSERT_TRUE(store.WriteSettings(values));
    EXPECT_TRUE(SettingsStore(place.location()).confirmDown());
    EXPECT_EQ(typeOf(place.location(), L"ConfirmDown"), DWORD(REG_SZ));
    // The days the history keeps: missing means 400.
    EXPECT_EQ(store.historyDays(), 400);
    ASSERT_TRUE(store.setHistoryDays(30));
    ASSERT_TRUE(store.WriteSettings(values));
    EXPECT_EQ(SettingsStore(place.location()).historyDays(), 30);
    EXPECT_EQ(typeOf(place.location(), L"HistoryDays"), DWORD(REG_SZ));
}
