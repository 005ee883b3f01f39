#pragma once
// Saves the attachment of one article: watches the lines as they arrive for
// an attachment and its name (asking each encoding's format in turn), holds
// them, and at the end creates the file in the group's folder and has the
// format found decode into it. Write failures are mapped to what they mean
// for the pass.

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

    enum class Result {
        Saved,               // decoded (an article without a known encoding leaves an empty file)
        NotCreated,          // no name, or the file could not be created
        NotCreatedDiskFull,  // the file could not be created: disk or directory full
        Refused,             // the decoder refused the name: the article failed
        DiskFull,            // the file could not be written: disk or directory full
    };
    Result Save(bool saveAscii, PauseGate* pause);

    // The name the article gave its file, and where it goes.
    const std::string& FileName() const { return m_strFileName; }
    std::string OutputPath() const { return m_strSaveDir + m_strFileName; }

    // Gives back the room held for the lines.
    void Release() { m_lines.Release(); }

private:
    std::vector<std::unique_ptr<AttachmentFormat>> m_formats;
    ArticleLines m_lines;
    std::string m_strSaveDir;
    std::string m_strFileName;
};

}  // namespace ng
