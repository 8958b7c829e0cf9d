import QtQuick

// Sheets presented over the window (store product page, review request) are drawn here.
Item {
}
