# The artwork compiled in as Qt resources.
#
# The resources live in an object library whose objects are handed to every target that links pylvane_gui
# (the program and each test). Were they archived into the static pylvane_gui instead, the linker would drop the
# unreferenced object and its registration with it, and every caller would need Q_INIT_RESOURCE; linked
# directly, rcc's static initialiser registers them before main().
add_library(pylvane_resources OBJECT ${CMAKE_SOURCE_DIR}/resources/pylvane.qrc)
set_target_properties(pylvane_resources PROPERTIES AUTORCC ON)
target_link_libraries(pylvane_resources PRIVATE Qt6::Core)
target_sources(pylvane_gui INTERFACE $<TARGET_OBJECTS:pylvane_resources>)
