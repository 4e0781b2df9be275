# The database manager, opened from the tray: "Upgrade" on a fresh settings
# folder (writes docs/screenshots/database-manager.png), and "Use Selected"
# followed by the restart message.
vx_add_e2e_test(dbmanager_upgrade test_dbmanager_e2e.DatabaseManagerTest.test_fresh_folder_upgrade_builds_database)
if(TARGET vx_test_upgrader)
  vx_add_e2e_test(dbmanager_use_selected test_dbmanager_e2e.DatabaseManagerTest.test_use_selected_asks_for_restart)
  set_property(TEST e2e.dbmanager_use_selected APPEND PROPERTY ENVIRONMENT
               "VX_TEST_UPGRADER=$<TARGET_FILE:vx_test_upgrader>")
endif()
