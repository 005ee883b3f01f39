#include "engine/AttachmentSaver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/TextFile.h"

namespace ng {

namespace {

// Creates (empties) the file and closes it again: proves the name can be saved.
bool TestCreate(const std::string& path, int& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace

AttachmentSaver::AttachmentSaver() {
    m_formats.push_back(MakeUuFormat());
    m_formats.push_back(MakeBase64Format());
}

void AttachmentSaver::Begin(std::string saveDir) {
    m_strSaveDir = std::move(saveDir);
    m_strFileName.clear();
    m_lines.Clear();
    for (auto& format : m_formats) {
        format->Reset();
    }
}

LineNote AttachmentSaver::Take(std::string_view line) {
    LineNote merged;
    for (auto& format : m_formats) {
        LineNote note = format->Notice(line);
        merged.restartCount = merged.restartCount || note.restartCount;
        if (note.name) {
            m_strFileName = *note.name;
            merged.name = std::move(note.name);
        }
        if (note.shown) {
            merged.shown = std::move(note.shown);
        }
    }
    m_lines.Add(line);
    return merged;
}

AttachmentSaver::Result AttachmentSaver::Save(bool saveAscii, PauseGate* pause) {
    const std::string path = OutputPath();
    int createError = 0;
    // An article without a name would make the path the folder itself.
    if (m_strFileName.empty() || !TestCreate(path, createError)) {
        m_lines.Clear();
        return IsDiskFullError(createError) ? Result::NotCreatedDiskFull : Result::NotCreated;
    }
    Result result = Result::Saved;
    for (auto& format : m_formats) {
        if (format->Found()) {
            switch (format->Decode(m_lines, {m_strSaveDir, path, saveAscii, pause})) {
                case DecodeResult::Saved:
                    break;
                case DecodeResult::Refused:
                    result = Result::Refused;
                    break;
                case DecodeResult::DiskFull:
                    result = Result::DiskFull;
                    break;
            }
            break;
        }
    }
    m_lines.Clear();
    return result;
}

}  // namespace ng
