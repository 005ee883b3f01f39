#pragma once
// Retrieves the accepted entries of a group: an article on its own is
// fetched, its attachments found and decoded into the group's folder,
// logged, shown and remembered; a post split over several articles has each part
// not kept yet fetched and its piece kept in the work folder, and once all
// parts are there they are joined into the picture, saved like any other.
//
// It says, for each entry, which of its articles were not dealt with (the
// group's mark must stay below them) and which the server did not have (to
// be asked for again later).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ArticleSource.h"
#include "engine/AttachmentSaver.h"
#include "engine/PassSettings.h"
#include "engine/PendingList.h"
#include "store/PartialPosts.h"

namespace ng {

class PassContext;
class PassHistory;
class PassReport;

// Where a group's files go.
struct GroupFolder {
    std::string saveDir;  // ending in "/"
    // The group's own folder when it did not exist as the group began:
    // made before each file (a failure shows when the file cannot be made).
    std::string makeFirst;
};

struct EntryOutcome {
    std::vector<int64_t> undone;          // not dealt with: the mark stays below them
    std::vector<OverviewRecord> missing;  // the server had none (yet)
    bool groupFailed = false;  // the group's folder cannot be written: no more files from it
};

class PostRetriever {
public:
    PostRetriever(PassContext& pass, PassReport& report, const PassSettings& settings,
                  ArticleSource& source, PartialPosts& parts, PassHistory& history);

    void StartGroup(GroupFolder folder) { m_folder = std::move(folder); }
    // One pending entry; `later` are the articles of the entries after it,
    // in the order they will be asked for.
    EntryOutcome Retrieve(const PendingEntry& entry, const std::vector<ArticleRequest>& later);
    // Gives back the room held for an article's lines.
    void Release() { m_saver.Release(); }

private:
    class Sink;
    enum class Fetched { Body, Missing, Cut };
    Fetched Fetch(const OverviewRecord& record, const std::vector<ArticleRequest>& upcoming,
                  int64_t& articleStart);

    void RetrieveArticle(const OverviewRecord& record, const std::vector<ArticleRequest>& later,
                         EntryOutcome& outcome);
    void RetrievePost(const PendingEntry& entry, const std::vector<ArticleRequest>& later,
                      EntryOutcome& outcome);
    // Fetches one part and keeps its piece; false when the entry cannot go on.
    bool KeepPart(PartialPost& post, int64_t part, const OverviewRecord& record,
                  const std::vector<ArticleRequest>& upcoming, EntryOutcome& outcome);
    // Keeps the piece the article held as `part` of the post; false when
    // the entry cannot go on (a folder that cannot be written).
    bool StorePiece(PartialPost& post, int64_t part, const OverviewRecord& record,
                    int64_t articleStart, EntryOutcome& outcome);
    void KeepLonePart(const FilePart& held, const OverviewRecord& record, int64_t articleStart,
                      EntryOutcome& outcome);
    // False when the picture could not be written for the folder's sake.
    bool JoinPost(const PartialPost& post, EntryOutcome& outcome);

    // Shows, logs, counts and remembers what became of a picture. False
    // when nothing was saved for a reason that leaves the article not dealt
    // with (a folder that cannot be written).
    bool Report(const SaveOutcome& saved, EntryOutcome& outcome);
    void ReportDamage(const std::string& name, const std::string& why);
    void ReportNotPicture(const std::string& name);
    // Saves and reports every attachment of the article held. An attachment
    // without a name it can be saved by is the article's own fault: fetching
    // it again would not change that, so it counts as dealt with.
    enum class Saving { Done, Nothing, Failed };  // Failed: the folder cannot be written
    Saving SaveAll(EntryOutcome& outcome);
    void Remember(const SaveOutcome& saved);
    // A write error in `where`: a full disk ends the pass; any other ends
    // the group when it is the group's folder, or fails this post when it is
    // the work folder. The pass goes on and ends with this status.
    void WriteFailed(int error, const std::string& where, bool groupFolder, EntryOutcome& outcome);
    void Finished();

    PassContext& m_pass;
    PassReport& m_report;
    const PassSettings& m_settings;
    ArticleSource& m_source;
    PartialPosts& m_parts;
    PassHistory& m_history;
    AttachmentSaver m_saver;
    GroupFolder m_folder;
    bool m_bLogRefusalShown = false;         // the download log was refused once already
    bool m_bWorkFolderRefusalShown = false;  // and the work folder

    // The article being retrieved.
    std::string m_strSubject;
    std::string m_strFrom;
    int m_expectedLines = 0;
};

}  // namespace ng
