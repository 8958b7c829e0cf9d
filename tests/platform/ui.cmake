# Window scenes, sheets, the URL opener, the store page and the review request.
quellnet_add_test(tst_uikit SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_uikit.cpp LIBS quellnet_platform)
