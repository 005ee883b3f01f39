#include "engine/PassSettings.h"

#include <algorithm>
#include <cerrno>

#include "platform/TextFile.h"
#include "settings/ColonList.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "store/DownloadHistory.h"
#include "store/WorkingFiles.h"

namespace ng {

namespace {

std::vector<std::string> UpperAll(std::vector<std::string> list) {
    for (auto& entry : list) {
        entry = ToUpperAscii(entry);
    }
    return list;
}

}  // namespace

PassSettings ReadPassSettings(const SettingsStore& store) {
    auto text = [&](const char* key, const char* defaultValue) {
        return store.GetProfileString(keys::kProductSection, key, defaultValue);
    };
    auto number = [&](const char* key, int defaultValue) {
        return store.GetProfileInt(keys::kProductSection, key, defaultValue);
    };

    PassSettings settings;
    settings.server = ReadServerSettings(store);
    settings.login = ReadLoginSettings(store, settings.server.host);
    settings.downloadDir = text(keys::kDownloadDirectory, defaults::kWorkerDownloadDirectory);

    FilterSettings& filter = settings.filter;
    filter.logHistoryHits = text(keys::kLogHistAct, "") == "yes";
    filter.subjectIncludes =
        UpperAll(SplitList(text(keys::kSubjectIncl, defaults::kWorkerSubjectIncl)));
    filter.subjectIncludes2 =
        UpperAll(SplitList(text(keys::kSubjectIncl2, defaults::kWorkerSubjectIncl2)));
    filter.subjectExcludes = UpperAll(SplitList(text(keys::kSubjectExcl, "")));
    std::vector<std::string> senders;
    errno = 0;
    if (!ReadTextLines(files::kFromExcludes, senders)) {
        filter.fromExcludesUnreadable = errno != ENOENT;
    }
    filter.fromExcludes = UpperAll(std::move(senders));
    filter.minLines = number(keys::kMinLines, defaults::kWorkerMinLines);
    filter.maxLines = number(keys::kMaxLines, defaults::kWorkerMaxLines);

    settings.histSaveFrequency = number(keys::kHistSaveFrequency, defaults::kHistSaveFrequency);
    settings.firstVisitMax = number(keys::kFirstVisitMax, defaults::kFirstVisitMax);
    settings.articlesInFlight = static_cast<size_t>(
        std::clamp(number(keys::kArticlesInFlight, defaults::kArticlesInFlight), 1, 16));
    settings.maxHist = number(keys::kMaxHist, defaults::kMaxHist);
    settings.saveAscii = number(keys::kSaveAscii, 0) != 0;
    settings.enableLogging = number(keys::kEnableLogging, 0) != 0;
    settings.logFile = text(keys::kLogFile, defaults::kWorkerLogFile);
    settings.skipDuplicates = number(keys::kSkipDuplicates, defaults::kSkipDuplicates) != 0;
    settings.partialKeepDays = number(keys::kPartialKeepDays, defaults::kPartialKeepDays);
    settings.picturesOnly = number(keys::kPicturesOnly, defaults::kPicturesOnly) != 0;
    return settings;
}

}  // namespace ng
