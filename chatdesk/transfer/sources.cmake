# The transfer jobs' plain sources, shared by the Windows builds and the native ones.
set(CHATDESK_TRANSFER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TransferRules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendPlan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendJob.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReceiveJob.cpp)
set(CHATDESK_TRANSFER_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tests/rules_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/job_tests.cpp)
