# The Domains screen model, its once-per-version actions and its drawing.
if(TARGET quellnet_qml)
  quellnet_add_test(tst_domainsview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_domainsview.cpp
                    LIBS quellnet_qml)
  quellnet_add_test(tst_domainsview_qml SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_domainsview_qml.cpp
                    LIBS quellnet_qml quellnet_qmlplugin)
endif()
