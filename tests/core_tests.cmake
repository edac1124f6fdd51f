# The core's test sources, one list per test program (named after its folder; shell, the Qt-free
# half of app). The Linux build (tests/CMakeLists.txt) builds every list; the Windows build
# (tests/windows) builds the same lists into one program that runs under wine, except the *_linux
# lists: the tests there are about Linux-only facilities (pseudo-terminals, termios, sysfs, the
# runtime folder's rules, POSIX permissions).
# A new core test therefore runs on both systems unless it is put in a *_linux list.
set(vorkel_core_test_programs protocol sensor calibration firmware transport shell)

set(vorkel_protocol_tests
  protocol/crc16_test.cpp
  protocol/exchange_engine_test.cpp
  protocol/frame_test.cpp
  protocol/live_ports_test.cpp)

set(vorkel_sensor_tests
  sensor/configuration_flow_test.cpp
  sensor/configuration_record_test.cpp
  sensor/level_display_test.cpp
  sensor/level_filter_test.cpp
  sensor/level_trend_test.cpp
  sensor/multiplier_test.cpp
  sensor/number_reading_test.cpp
  sensor/number_text_test.cpp
  sensor/readings_test.cpp)

set(vorkel_calibration_tests
  calibration/backup_file_test.cpp
  calibration/calibration_points_test.cpp
  calibration/calibration_report_test.cpp
  calibration/calibration_table_test.cpp
  calibration/liters_lookup_test.cpp
  calibration/table_export_test.cpp
  calibration/table_import_test.cpp
  calibration/table_sources_test.cpp
  calibration/tank_shape_test.cpp
  calibration/guided_pouring_test.cpp
  calibration/tank_curve_test.cpp
  calibration/virtual_sensor_test.cpp)
set(vorkel_calibration_tests_linux
  calibration/whole_file_posix_test.cpp)

set(vorkel_firmware_tests
  firmware/firmware_image_test.cpp
  firmware/firmware_transfer_test.cpp)

set(vorkel_transport_tests
  transport/comport_dispatch_test.cpp
  transport/port_names_test.cpp)
set(vorkel_transport_tests_linux
  transport/comport_test.cpp
  transport/termios_line_test.cpp
  transport/port_discovery_test.cpp)

# The shell's Qt-free files (the translation table, the log file); the window's tests are
# app_tests.
set(vorkel_shell_tests
  app/log_file_test.cpp
  app/translation_test.cpp)
set(vorkel_shell_tests_linux
  app/log_file_posix_test.cpp)
