#pragma once
// A sunken text field that behaves like the classic static control: "&"
// marks a mnemonic (the next character is underlined, "&&" shows one "&"),
// unless the field is set to show its text literally. Its size does not
// follow its text, so a long subject or path never reshapes the window.

#include <QFrame>
#include <QString>

class CStaticText : public QFrame {
    Q_OBJECT

public:
    enum class Ampersands { Mnemonic, Literal };

    CStaticText(int widthChars, int lines, Qt::Alignment alignment,
                Ampersands ampersands = Ampersands::Mnemonic, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    // What the user reads: the text less its mnemonic markers.
    QString ShownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_nWidthChars;
    int m_nLines;
    Qt::Alignment m_alignment;
    Ampersands m_ampersands;
};
