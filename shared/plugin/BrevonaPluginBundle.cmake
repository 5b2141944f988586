# brevona_add_plugin_bundle(<target> NAME <Bundle> INFO_PLIST <Info.plist> SOURCES ... [RESOURCES ...])
# Builds <Bundle>.plugin/Contents/Linux/<target>.so with Contents/Info.plist beside it, in the
# build folder and, on install, in the given DESTINATION (default: the user's plugin folder layout
# under share/Lumivox brevona/Plugins).
function(brevona_add_plugin_bundle target)
  cmake_parse_arguments(ARG "" "NAME;INFO_PLIST;DESTINATION" "SOURCES;RESOURCES" ${ARGN})
  if(NOT ARG_NAME)
    set(ARG_NAME ${target})
  endif()
  # BREVONA_PLUGIN_OUTPUT_DIRECTORY gathers the bundles of a project in one plugin folder.
  if(BREVONA_PLUGIN_OUTPUT_DIRECTORY)
    set(bundle_dir ${BREVONA_PLUGIN_OUTPUT_DIRECTORY}/${ARG_NAME}.plugin)
  else()
    set(bundle_dir ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}.plugin)
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE Brevona::PluginSDK)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${bundle_dir}/Contents/Linux
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  configure_file(${ARG_INFO_PLIST} ${bundle_dir}/Contents/Info.plist @ONLY)
  foreach(resource IN LISTS ARG_RESOURCES)
    get_filename_component(name ${resource} NAME)
    configure_file(${resource} ${bundle_dir}/Contents/Resources/${name} COPYONLY)
  endforeach()
  if(ARG_DESTINATION)
    install(DIRECTORY ${bundle_dir} DESTINATION ${ARG_DESTINATION} USE_SOURCE_PERMISSIONS)
  endif()
endfunction()
