#include "engine/PassSettings.h"

#include <algorithm>
#include <cerrno>

#include "platform/TextFile.h"
#include "settings/ColonList.h"
#include "settings/Settings.h"
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
    PassSettings settings;
    settings.server = ReadServerSettings(store);
    settings.login = ReadLoginSettings(store, settings.server.host);
    settings.downloadDir = Read(store, setting::kDownloadDirectory);

    FilterSettings& filter = settings.filter;
    filter.logHistoryHits = Read(store, setting::kLogHistAct) == "yes";
    filter.subjectIncludes = UpperAll(SplitList(Read(store, setting::kSubjectIncl)));
    filter.subjectIncludes2 = UpperAll(SplitList(Read(store, setting::kSubjectIncl2)));
    filter.subjectExcludes = UpperAll(SplitList(Read(store, setting::kSubjectExcl)));
    std::vector<std::string> senders;
    errno = 0;
    if (!ReadTextLines(files::kFromExcludes, senders)) {
        filter.fromExcludesUnreadable = errno != ENOENT;
    }
    filter.fromExcludes = UpperAll(std::move(senders));
    filter.minLines = Read(store, setting::kMinLines);
    filter.maxLines = Read(store, setting::kMaxLines);
    // A profile that limits lines keeps to what it set: the sizes in
    // kilobytes hold there only where it sets them too.
    const bool limitsLines = IsSet(store, setting::kMinLines) || IsSet(store, setting::kMaxLines);
    filter.minKB =
        limitsLines && !IsSet(store, setting::kMinKB) ? std::nullopt : Read(store, setting::kMinKB);
    filter.maxKB =
        limitsLines && !IsSet(store, setting::kMaxKB) ? std::nullopt : Read(store, setting::kMaxKB);

    settings.histSaveFrequency = Read(store, setting::kHistSaveFrequency);
    settings.firstVisitMax = Read(store, setting::kFirstVisitMax);
    settings.articlesInFlight =
        static_cast<size_t>(std::clamp(Read(store, setting::kArticlesInFlight), 1, 16));
    settings.connections = ReadConnections(store, settings.server.host);
    settings.maxHist = Read(store, setting::kMaxHist);
    settings.saveAscii = Read(store, setting::kSaveAscii) != 0;
    settings.enableLogging = Read(store, setting::kEnableLogging) != 0;
    settings.logFile = Read(store, setting::kLogFile);
    settings.skipDuplicates = Read(store, setting::kSkipDuplicates) != 0;
    settings.partialKeepDays = Read(store, setting::kPartialKeepDays);
    settings.connectRetries = std::clamp(Read(store, setting::kConnectRetries), 0, 100);
    settings.retryWaitSeconds = std::clamp(Read(store, setting::kRetryWait), 0, 3600);
    settings.missingKeepHours = Read(store, setting::kMissingKeepHours);
    settings.picturesOnly = Read(store, setting::kPicturesOnly) != 0;
    return settings;
}

}  // namespace ng
