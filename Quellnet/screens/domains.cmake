# The Domains screen, the once-per-version review prompt and the sheets presented over the
# window, added to the QML module.
target_sources(quellnet_qml PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DomainsView.cpp ${CMAKE_CURRENT_LIST_DIR}/DomainsView.h
  ${CMAKE_CURRENT_LIST_DIR}/ReviewPrompt.cpp ${CMAKE_CURRENT_LIST_DIR}/ReviewPrompt.h
  ${CMAKE_CURRENT_LIST_DIR}/SheetPresenter.cpp ${CMAKE_CURRENT_LIST_DIR}/SheetPresenter.h)
qt_target_qml_sources(quellnet_qml QML_FILES qml/DomainsView.qml qml/DomainRow.qml qml/SheetLayer.qml)
