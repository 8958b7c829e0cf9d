# The Domains screen model and its once-per-version actions; its drawing is in tst_qml_smoke.
if(TARGET quellnet_qml)
  quellnet_add_test(tst_domainsview SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_domainsview.cpp
                    LIBS quellnet_qml)
endif()
