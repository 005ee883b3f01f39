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

namespace {

class NullDisplay : public ng::IDisplay {
public:
    void SetStatusText(const std::string&) override {}
    void SetSubjectText(const std::string&) override {}
    void SetSavingToText(const std::string&) override {}
    void SetFromText(const std::string&) override {}
    void ShowThumbnail(const std::string&) override {}
    void SetBytesTransferred(int64_t) override {}
    void SetArticlesScanned(int) override {}
    void SetArticlesSaved(int) override {}
    void SetRate(ng::RateField, int64_t, int64_t) override {}
    void SetRateSince(ng::RateField, int64_t, int64_t, int64_t) override {}
    void SetHistorySkipped(int) override {}
    void SetCrosspostsSkipped(int) override {}
    void SetProgress(ng::ProgressBar, int, int, bool) override {}
    void SetStatusProgress(int, int) override {}
    void EnablePending(bool) override {}
    void ShowMessage(const std::string&) override {}
    void PassEnded() override {}
};

std::vector<std::string> SomeTerms(FuzzedDataProvider& input) {
    std::vector<std::string> terms;
    int count = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        terms.push_back(ng::ToUpperAscii(input.ConsumeRandomLengthString(12)));
    }
    return terms;
}

bool ContainsAny(const std::vector<std::string>& upperTerms, const std::string& upperText) {
    for (const auto& term : upperTerms) {
        if (upperText.find(term) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static NullDisplay display;
    static ng::PendingList pending;
    static CProcessGroups* worker = new CProcessGroups(display, nullptr, pending);

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
                   ContainsAny(worker->m_subjectIncludes, subject));
        FUZZ_CHECK(worker->m_subjectIncludes2.empty() ||
                   ContainsAny(worker->m_subjectIncludes2, subject));
        FUZZ_CHECK(!ContainsAny(worker->m_subjectExcludes, subject));
        FUZZ_CHECK(!ContainsAny(worker->m_fromExcludes, ng::ToUpperAscii(fields.from)));
        FUZZ_CHECK(!worker->m_history.FindHit(subject));
        FUZZ_CHECK(worker->m_acceptedSubjects.count(fields.subject) == 0);
    }
    return 0;
}
