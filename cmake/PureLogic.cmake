# The program's pure logic: files that need nothing of Windows but a few types and calls. The Windows build
# compiles them into the program and the sensor server; the host build (tests/host) compiles the very same
# files natively, under the sanitizers, for its tests and fuzzers.
set(CALIDRA_PURE_APP_SOURCES
  ${CMAKE_SOURCE_DIR}/app/display/TemperatureReport.cpp
  ${CMAKE_SOURCE_DIR}/app/sensors/SensorReading.cpp
  ${CMAKE_SOURCE_DIR}/app/common/LeadingInt.cpp
  ${CMAKE_SOURCE_DIR}/app/update/UpdateJobWire.cpp
  ${CMAKE_SOURCE_DIR}/app/update/Versions.cpp
  ${CMAKE_SOURCE_DIR}/app/update/ZipEntry.cpp
  ${CMAKE_SOURCE_DIR}/app/update/ZipEntryName.cpp
  ${CMAKE_SOURCE_DIR}/app/update/ZipTargetPath.cpp
)
set(CALIDRA_PURE_SERVER_SOURCES
  ${CMAKE_SOURCE_DIR}/sensor_server/ScriptedReadings.cpp
  ${CMAKE_SOURCE_DIR}/sensor_server/ServerConfig.cpp
  ${CMAKE_SOURCE_DIR}/sensor_server/Text.cpp
)
