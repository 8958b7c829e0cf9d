import QtQuick

// Placeholder until the Domains screen is drawn: the tab shows its model's rows.
ScreenList {
}
