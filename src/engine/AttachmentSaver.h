#pragma once
// Saves the attachment of one article: watches the lines as they arrive for
// an attachment and its name (asking each encoding's format in turn), holds
// them, and at the end has the format found decode them into a new file in
// the group's folder, which gets its name only once it is complete.
//
// A file already in the folder is never replaced or emptied, and no link is
// followed: when the name is taken by a file holding the same bytes, the
// picture is already there; otherwise the picture goes under a free name
// beside it ("cat-1.jpg").

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"

namespace ng {

class PauseGate;

class AttachmentSaver {
public:
    AttachmentSaver();

    // Starts an article whose file goes into saveDir (ending in "/").
    void Begin(std::string saveDir);
    // One article line as it arrives; what it means for the window.
    LineNote Take(std::string_view line);

    struct Outcome {
        enum Kind {
            Saved,      // written under `name`
            Duplicate,  // `name` in the folder already holds the same bytes
            NotSaved,   // no name, or one the folder cannot hold: the article's own fault
            Failed,     // the folder cannot be written (`error`): the pass cannot go on
        };
        Kind kind = NotSaved;
        std::string name;  // the name really written, or the duplicate's
        int error = 0;
    };
    // Decodes the held lines and puts the file in place; forgets the lines.
    Outcome Save(bool saveAscii, PauseGate* pause);
    // Forgets the article without saving anything.
    void Drop();

    // The name the article gives its file, and the folder it goes into.
    const std::string& FileName() const { return m_strFileName; }
    const std::string& SaveDir() const { return m_strSaveDir; }

    // Gives back the room held for the lines.
    void Release() { m_lines.Release(); }

private:
    std::vector<std::unique_ptr<AttachmentFormat>> m_formats;
    ArticleLines m_lines;
    std::string m_strSaveDir;
    std::string m_strFileName;
};

// "cat.jpg", then "cat-1.jpg", "cat-2.jpg", ...: the n-th name tried for a
// picture whose own name is taken.
std::string FreeNameCandidate(const std::string& name, int n);

}  // namespace ng
