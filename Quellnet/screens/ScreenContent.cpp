#include "ScreenContent.h"

namespace Screen {

const Row *Content::row(const QString &key) const {
    for (const Section &section : sections)
        for (const Row &r : section.rows)
            if (r.key == key)
                return &r;
    return nullptr;
}

QStringList Content::texts() const {
    QStringList out;
    for (const Section &section : sections)
        for (const Row &r : section.rows)
            out << r.text;
    return out;
}

Row label(QString key, QString text, QString systemImage) {
    Row r;
    r.key = std::move(key);
    r.text = std::move(text);
    r.systemImage = std::move(systemImage);
    return r;
}

Row button(QString key, QString text, QString systemImage, ButtonStyle style) {
    Row r = label(std::move(key), std::move(text), std::move(systemImage));
    r.kind = RowKind::button;
    r.buttonStyle = style;
    return r;
}

Row toggle(QString key, QString text, bool checked, QString detail) {
    Row r = label(std::move(key), std::move(text), QString());
    r.kind = RowKind::toggle;
    r.checked = checked;
    r.detail = std::move(detail);
    return r;
}

} // namespace Screen
