# The protocol core's sources, shared by the Windows builds and the native ones.
set(CHATDESK_PROTO_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ImCodes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImFramer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImMessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImDispatch.cpp)
set(CHATDESK_PROTO_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tests/framer_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/layout_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/dispatch_tests.cpp)
# One fuzz target per entry: the framer, each reader, the dispatch decision.
set(CHATDESK_PROTO_FUZZ_TARGETS
  framer dispatch
  read_login read_login_reply read_peer_link_request read_peer_link_reply read_chat_text
  read_chat_text_receipt read_offline_message read_offline_store_reply read_offline_fetch
  read_file_offer read_file_offer_reply read_file_block read_file_block_ack read_typing_notice
  read_file_cancel)
