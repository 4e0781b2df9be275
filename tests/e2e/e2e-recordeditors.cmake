# The record editors, opened from the tray through the database manager. The
# test builds its version-12 database with the upgrader of tests/database.
if(TARGET vx_test_upgrader)
  vx_add_e2e_test(record_editors test_recordeditors.RecordEditorsTest.test_device_with_config_location_and_email)
  set_property(TEST e2e.record_editors APPEND PROPERTY ENVIRONMENT
               "VX_TEST_UPGRADER=$<TARGET_FILE:vx_test_upgrader>")
endif()
