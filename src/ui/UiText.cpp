#include "ui/UiText.h"

#include <QByteArray>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QVariant>

namespace ng::ui {

namespace {

QByteArrayView View(std::string_view bytes) {
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// What a control keeps beside the text it shows: nothing when the text
// gives the bytes back, else the bytes. That is 8-bit text shown as Latin-1,
// and a leading byte-order mark, which Qt drops from the text.
QVariant Kept(std::string_view bytes, const QString& shown) {
    return ToBytes(shown) == bytes ? QVariant() : QVariant(View(bytes).toByteArray());
}

std::string KeptOr(const QVariant& kept, const QString& shown) {
    return kept.isValid() ? kept.toByteArray().toStdString() : ToBytes(shown);
}

}  // namespace

QString FromBytes(std::string_view bytes) {
    QByteArrayView view = View(bytes);
    return view.isValidUtf8() ? QString::fromUtf8(view) : QString::fromLatin1(view);
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

QListWidgetItem* NewListItem(std::string_view bytes) {
    auto* item = new QListWidgetItem(FromBytes(bytes));
    KeepBytes(item, bytes);
    return item;
}

void KeepBytes(QListWidgetItem* item, std::string_view bytes) {
    QVariant kept = Kept(bytes, item->text());
    if (kept.isValid()) {
        item->setData(Qt::UserRole, kept);
    }
}

std::string ItemBytes(const QListWidgetItem* item) {
    return KeptOr(item->data(Qt::UserRole), item->text());
}

void InsertComboItem(QComboBox* combo, int index, std::string_view bytes) {
    QString shown = FromBytes(bytes);
    combo->insertItem(index, shown, Kept(bytes, shown));
}

std::string ComboItemBytes(const QComboBox* combo, int index) {
    return KeptOr(combo->itemData(index), combo->itemText(index));
}

std::string ComboTextBytes(const QComboBox* combo) {
    int index = combo->currentIndex();
    if (index >= 0 && combo->currentText() == combo->itemText(index)) {
        return ComboItemBytes(combo, index);
    }
    return ToBytes(combo->currentText());
}

void SetEditBytes(QLineEdit* edit, std::string_view bytes) {
    edit->setText(FromBytes(bytes));
    edit->setProperty("ngBytes", Kept(bytes, edit->text()));
}

std::string EditBytes(const QLineEdit* edit) {
    QVariant kept = edit->property("ngBytes");
    if (kept.isValid()) {
        QByteArray bytes = kept.toByteArray();
        // Once the text differs, the field holds what the user typed.
        if (edit->text() == FromBytes(std::string_view(bytes.constData(), bytes.size()))) {
            return bytes.toStdString();
        }
    }
    return ToBytes(edit->text());
}

}  // namespace ng::ui
