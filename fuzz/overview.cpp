// An overview line from the server, through ParseOverviewLine and the
// header filter, with filter settings and history names from the input too.
// The fields never hold a TAB and are where the line puts them; an accepted
// header really passes every filter.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "engine/Overview.h"
#include "engine/ProcessGroups.h"
#include "store/DownloadHistory.h"
#include "support/HistoryWalk.h"
#include "support/NullDisplay.h"

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
    static ngtest::NullDisplay display;
    static ng::PendingList pending;
    static CProcessGroups* worker = new CProcessGroups(ng::Profile(), display, nullptr, pending);

    FuzzedDataProvider input(data, size);
    worker->m_minLines = input.ConsumeIntegralInRange(-10, 5000);
    worker->m_maxLines = input.ConsumeIntegralInRange(-10, 5000);
    worker->m_subjectIncludes = SomeTerms(input);
    worker->m_subjectIncludes2 = SomeTerms(input);
    worker->m_subjectExcludes = SomeTerms(input);
    worker->m_fromExcludes = SomeTerms(input);
    worker->m_bLogHistoryHits = false;
    worker->m_history.Clear();
    int names = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < names; ++i) {
        worker->m_history.Add(input.ConsumeRandomLengthString(16));
    }
    worker->m_acceptedSubjects.clear();
    if (input.ConsumeBool()) {
        worker->m_acceptedSubjects.insert(input.ConsumeRandomLengthString(16));
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
    (void)ng::ReplyCode(line);

    const bool accepted =
        worker->AcceptHeader(fields.number, fields.subject, fields.from, fields.lines);
    if (accepted) {
        const std::string subject = ng::ToUpperAscii(fields.subject);
        FUZZ_CHECK(fields.lines >= worker->m_minLines && fields.lines <= worker->m_maxLines);
        FUZZ_CHECK(worker->m_subjectIncludes.empty() ||
                   ngtest::ContainsAnyTerm(worker->m_subjectIncludes, subject));
        FUZZ_CHECK(worker->m_subjectIncludes2.empty() ||
                   ngtest::ContainsAnyTerm(worker->m_subjectIncludes2, subject));
        FUZZ_CHECK(!ngtest::ContainsAnyTerm(worker->m_subjectExcludes, subject));
        FUZZ_CHECK(!ngtest::ContainsAnyTerm(worker->m_fromExcludes, ng::ToUpperAscii(fields.from)));
        FUZZ_CHECK(!worker->m_history.FindHit(subject));
        FUZZ_CHECK(worker->m_acceptedSubjects.count(fields.subject) == 0);
    }
    return 0;
}
