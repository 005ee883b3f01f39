#include "ui/UiText.h"

#include <QStringDecoder>

namespace ng::ui {

QString FromBytes(std::string_view text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) {
        return decoded;
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToBytes(const QString& text) {
    return text.toStdString();
}

QString WithoutMnemonics(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;  // the marker goes; the character after it stays (also a second "&")
        }
        shown += text[i];
    }
    return shown;
}

}  // namespace ng::ui
