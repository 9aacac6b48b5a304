# The artwork compiled in as Qt resources.
#
# The resources live in an object library whose objects are handed to every target that links pylvane_gui
# (the program and each test). Were they archived into the static pylvane_gui instead, the linker would drop the
# unreferenced object and its registration with it, and every caller would need Q_INIT_RESOURCE; linked
# directly, rcc's static initialiser registers them before main().
add_library(pylvane_resources OBJECT ${CMAKE_SOURCE_DIR}/resources/pylvane.qrc)
# rcc's later formats record every file's time, the checkout's or SOURCE_DATE_EPOCH, which an incremental build
# would then keep from an older commit; the first has none, so the resources follow their contents alone.
set_target_properties(pylvane_resources PROPERTIES AUTORCC ON AUTORCC_OPTIONS "--format-version;1")
target_link_libraries(pylvane_resources PRIVATE Qt6::Core)
target_sources(pylvane_gui INTERFACE $<TARGET_OBJECTS:pylvane_resources>)
