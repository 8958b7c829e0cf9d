# The Domains screen and the sheets presented over the window, added to the QML module.
target_sources(quellnet_qml PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DomainsView.cpp ${CMAKE_CURRENT_LIST_DIR}/DomainsView.h)
qt_target_qml_sources(quellnet_qml QML_FILES qml/DomainsView.qml qml/SheetLayer.qml)
