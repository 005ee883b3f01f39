// An overview line from the server, through ParseOverviewLine and the
// header filter, with filter settings and history names from the input too.
// The fields never hold a TAB and are where the line puts them; an accepted
// header really passes every filter.

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "engine/HeaderFilter.h"
#include "nntp/Overview.h"
#include "nntp/Reply.h"
#include "platform/Numbers.h"
#include "store/DownloadHistory.h"
#include "support/HistoryWalk.h"

namespace {

std::vector<std::string> SomeTerms(FuzzedDataProvider& input) {
    std::vector<std::string> terms;
    int count = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        terms.push_back(ng::ToUpperAscii(input.ConsumeRandomLengthString(12)));
    }
    return terms;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    ng::FilterSettings settings;
    settings.minLines = input.ConsumeIntegralInRange(-10, 5000);
    settings.maxLines = input.ConsumeIntegralInRange(-10, 5000);
    settings.subjectIncludes = SomeTerms(input);
    settings.subjectIncludes2 = SomeTerms(input);
    settings.subjectExcludes = SomeTerms(input);
    settings.fromExcludes = SomeTerms(input);
    ng::DownloadHistory history;
    int names = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < names; ++i) {
        history.Add(input.ConsumeRandomLengthString(16));
    }
    ng::HeaderFilter filter(settings, history);
    std::optional<std::string> earlier;
    if (input.ConsumeBool()) {
        earlier = input.ConsumeRandomLengthString(16);
        filter.NoteAccepted(*earlier);
    }
    const std::string line = input.ConsumeRemainingBytesAsString();

    ng::OverviewFields fields = ng::ParseOverviewLine(line);
    FUZZ_CHECK(fields.number.find('\t') == std::string::npos);
    FUZZ_CHECK(fields.subject.find('\t') == std::string::npos);
    FUZZ_CHECK(fields.from.find('\t') == std::string::npos);
    FUZZ_CHECK(line.compare(0, fields.number.size(), fields.number) == 0);
    if (line.find('\t') != std::string::npos) {
        FUZZ_CHECK(line.compare(fields.number.size() + 1, fields.subject.size(), fields.subject) ==
                   0);
    } else {
        FUZZ_CHECK(fields.number == line && fields.subject.empty() && fields.from.empty());
    }
    (void)ng::LeadingNumber(line);
    (void)ng::nntp::ReplyCode(line);
    (void)ng::ParseGroupResponse(line);

    ng::HeaderFilter::Decision decision =
        filter.AcceptHeader(fields.subject, fields.from, fields.lines);
    const std::string subject = ng::ToUpperAscii(fields.subject);
    if (decision.verdict == ng::HeaderFilter::Verdict::Accept) {
        FUZZ_CHECK(fields.lines >= settings.minLines && fields.lines <= settings.maxLines);
        FUZZ_CHECK(settings.subjectIncludes.empty() ||
                   ngtest::ContainsAnyTerm(settings.subjectIncludes, subject));
        FUZZ_CHECK(settings.subjectIncludes2.empty() ||
                   ngtest::ContainsAnyTerm(settings.subjectIncludes2, subject));
        FUZZ_CHECK(!ngtest::ContainsAnyTerm(settings.subjectExcludes, subject));
        FUZZ_CHECK(!ngtest::ContainsAnyTerm(settings.fromExcludes, ng::ToUpperAscii(fields.from)));
        FUZZ_CHECK(!history.FindHit(subject));
        FUZZ_CHECK(!earlier || fields.subject != *earlier);
    } else if (decision.verdict == ng::HeaderFilter::Verdict::InHistory) {
        // What matched is in the subject: at its start, or after a blank.
        FUZZ_CHECK(subject.find(decision.matched) != std::string::npos);
    }
    return 0;
}
