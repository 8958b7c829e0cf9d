#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

/**
 * What a screen shows, computed from its state: rows of a text and a system symbol name,
 * grouped in sections. QML draws exactly this and nothing else, so every screen can be tested
 * as plain C++ by comparing rows.
 */
namespace Screen {
Q_NAMESPACE

/** `textField` is an editable text with its paste button beside it; `toggle` is a switch
    (its text names what it switches, `detail` says what it does now). */
enum class RowKind { label, button, textField, toggle };
Q_ENUM_NS(RowKind)

/** `automatic` is the platform's default button look; `plain` is the bare label. */
enum class ButtonStyle { automatic, plain };
Q_ENUM_NS(ButtonStyle)

enum class Tint { none, teal, red };
Q_ENUM_NS(Tint)

struct Row {
    /** Stable identity across recomputations, so views animate and keep their place. */
    QString key;
    RowKind kind = RowKind::label;
    QString text;
    QString systemImage;
    ButtonStyle buttonStyle = ButtonStyle::automatic;
    Tint tint = Tint::none;
    bool enabled = true;
    /** Swipe-to-delete (and its keyboard and accessibility equivalents) is offered. */
    bool deletable = false;
    /** Text fields only: the hint shown while the field is empty (`systemImage` is the paste
        button's). */
    QString placeholder;
    /** What the symbol tells a screen reader's listener, in words; empty where it only
        decorates (the text says it all). Never the symbol's name. */
    QString accessibleDescription;
    /** Toggles only: the switch's position, and whether a change of it is still under way. */
    bool checked = false;
    bool busy = false;
    /** A second line under the text, in smaller type; empty for none. */
    QString detail;

    friend bool operator==(const Row &, const Row &) = default;
};

struct Section {
    QString header;
    QList<Row> rows;
    friend bool operator==(const Section &, const Section &) = default;
};

struct Content {
    QString navigationTitle;
    QList<Section> sections;

    /** The row with `key`, or nullptr. */
    const Row *row(const QString &key) const;
    /** Every row's text in order, for compact test expectations. */
    QStringList texts() const;
};

/** A label row: text with a leading symbol. */
Row label(QString key, QString text, QString systemImage);
/** A button row in the given style. */
Row button(QString key, QString text, QString systemImage,
           ButtonStyle style = ButtonStyle::automatic);
/** A switch row named `text`, with `detail` under it. */
Row toggle(QString key, QString text, bool checked, QString detail);
} // namespace Screen
