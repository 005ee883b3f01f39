#pragma once
// The picture view used for the thumbnail and for the full-size window: load
// a picture file by path, report its size in pixels, and fail on a file it
// cannot read. The thumbnail fits the picture into the view; the full-size
// view shows it at its own size and, in tall mode, lets the user scroll down
// to the part below the window.

#include <QScrollArea>
#include <string>

class QLabel;

class CImvb : public QScrollArea {
    Q_OBJECT

public:
    enum class Fit { ScaleToView, ActualSize };

    explicit CImvb(Fit fit, QWidget* parent = nullptr);

    void SetImageFile(const std::string& path);
    std::string GetImageFile() const { return m_strImageFile; }
    // Loads the file named by the image file. An empty name empties the
    // view. False when the file cannot be read as a picture: the view, its
    // size and its image file then stay as they were before.
    bool LoadImage();
    int GetImageWidth() const { return m_nWidth; }
    int GetImageHeight() const { return m_nHeight; }
    // 1: the picture is taller than the room on screen, so the view scrolls.
    void SetTallMode(int mode);
    int GetTallMode() const { return m_nTallMode; }
    bool HasPicture() const;
    // The size the picture is drawn at.
    QSize ShownSize() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPicture();
    QSize FitRoom() const;

    Fit m_fit;
    QLabel* m_pPicture;
    std::string m_strImageFile;   // the name set
    std::string m_strLoadedFile;  // the name of the picture shown
    QPixmap m_pixmap;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nTallMode = 0;
};
