// The settings file parser: whatever the file holds, every value a reader
// finds survives the store rewriting the file, the rewritten file is stable
// (writing it again changes nothing), and a value the store writes is read
// back as written.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "platform/TextFile.h"
#include "settings/SettingsStore.h"

using ng::SettingsStore;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Names the file layout can hold: one line, no '=' (it would split the key),
// no blanks at the ends and no byte order mark at the start (they are
// dropped), and not read as a section header or a comment.
bool WritableName(const std::string& name) {
    return !name.empty() && name.find_first_of("=\r\n") == std::string::npos &&
           !name.starts_with("\xEF\xBB\xBF") && !IsBlank(name.front()) && !IsBlank(name.back()) &&
           name.front() != '[' && name.front() != ';' && name.front() != '#';
}

bool WritableSection(const std::string& name) {
    return name.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(80);
    const std::string text = input.ConsumeRemainingBytesAsString();

    SettingsStore::Document first = SettingsStore::Parse(text);
    const std::string once = first.Serialize();
    SettingsStore::Document second = SettingsStore::Parse(once);

    // A CR that is not part of a line end is written back as a blank (in a
    // value) or lost (at the end of a comment line): left out here, and known.
    bool strayCarriageReturn = false;
    for (const std::string& line : ng::SplitTextLines(text)) {
        strayCarriageReturn = strayCarriageReturn || line.find('\r') != std::string::npos;
    }
    if (!strayCarriageReturn) {
        FUZZ_CHECK(second.Serialize() == once);
    }

    for (const auto& s :
         strayCarriageReturn ? std::vector<SettingsStore::Section>() : first.sections) {
        if (s.isPreamble) {
            continue;
        }
        for (const auto& e : s.entries) {
            if (e.key.empty()) {
                continue;
            }
            const std::string* before = first.Find(s.name, e.key);
            const std::string* after = second.Find(s.name, e.key);
            FUZZ_CHECK(before != nullptr);
            FUZZ_CHECK(after != nullptr);
            FUZZ_CHECK(*before == *after);
        }
    }

    // A write into the parsed file, as WriteProfileString does it.
    if (WritableSection(section) && WritableName(key)) {
        std::string stored = value;
        for (char& c : stored) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        first.Set(section, key, value);
        SettingsStore::Document reread = SettingsStore::Parse(first.Serialize());
        const std::string* found = reread.Find(section, key);
        FUZZ_CHECK(found != nullptr);
        FUZZ_CHECK(*found == stored);
    }
    return 0;
}
