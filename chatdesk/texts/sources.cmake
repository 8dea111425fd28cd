# The chat texts' plain units, shared by the Windows builds and the native ones.
set(CHATDESK_TEXTS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TextLines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextCompose.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReceivedText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QueueRecord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendQueue.cpp)
set(CHATDESK_TEXTS_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tests/compose_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/queue_tests.cpp)
