// Any bytes as the settings file: every value reads or gives nothing, and a value that "Save" writes
// into the file reads back equal.
#include "FuzzCheck.h"

#include "settings/IniText.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string value = input.ConsumeRandomLengthString(256);
    const std::string file = input.ConsumeRemainingBytesAsString();
    const IniText text(QByteArray::fromStdString(file));
    for (const char* name : {"a1", "c1", "c10b", "d15", "e1b"})
        text.value(QLatin1String(name));

    const QString written = QString::fromStdString(value);
    const IniText saved(text.withTexts({{QStringLiteral("a1"), written}, {QStringLiteral("e1b"), QStringLiteral("1")}}));
    const std::optional<QVariant> back = saved.value(QStringLiteral("a1"));
    FUZZ_REQUIRE(back.has_value() && back->toString() == written);
    return 0;
}
