# SPDX-License-Identifier: Apache-2.0
# Artwork: every picture the application shows is drawn as SVG under res/svg and rendered to the PNG its resource
# path names at build time, so the repository holds sources only. The PNGs, the compiled translations and the
# resource file that lists them are generated into the build folder and compiled with rcc.

add_executable(kelvo-svg-render svg-renderer/SvgRender.cpp)
target_link_libraries(kelvo-svg-render PRIVATE Qt5::Svg Qt5::Gui)
kelvo_warnings(kelvo-svg-render)

set(_artwork_dir ${CMAKE_CURRENT_BINARY_DIR}/artwork)
set(_artwork_pngs)
file(MAKE_DIRECTORY ${_artwork_dir}/gui ${_artwork_dir}/icon ${_artwork_dir}/i18n)
set(_artwork_qrc_entries)

# kelvo_artwork(<resource path without .png> <svg source> [<size in pixels, square>])
function(kelvo_artwork resource source)
  set(output ${_artwork_dir}/${resource}.png)
  set(size_arguments)
  if(ARGC GREATER 2)
    set(size_arguments ${ARGV2} ${ARGV2})
  endif()
  # The picture, and its double for a window scaled by two (Artwork::pixmap and QIcon take it there).
  set(output_2x ${_artwork_dir}/${resource}@2x.png)
  add_custom_command(OUTPUT ${output} ${output_2x}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:kelvo-svg-render> ${CMAKE_CURRENT_SOURCE_DIR}/res/svg/${source} ${output} ${size_arguments}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:kelvo-svg-render> ${CMAKE_CURRENT_SOURCE_DIR}/res/svg/${source} ${output_2x} ${size_arguments}
            @2
    DEPENDS kelvo-svg-render ${CMAKE_CURRENT_SOURCE_DIR}/res/svg/${source}
    COMMENT "Rendering ${resource}.png"
    VERBATIM)
  set(_artwork_pngs ${_artwork_pngs} ${output} ${output_2x} PARENT_SCOPE)
  set(_artwork_qrc_entries "${_artwork_qrc_entries}    <file alias=\"res/${resource}.png\">artwork/${resource}.png</file>\n    <file alias=\"res/${resource}@2x.png\">artwork/${resource}@2x.png</file>\n"
      PARENT_SCOPE)
endfunction()

foreach(picture
    Battery-Body Card-NoCard Card-OK Card-not_identified
    EcoMode-Grafik_advertising EcoMode-Grafik_background
    EcoMode-Grafik_backlight EcoMode-Grafik_backlight_ECO
    EcoMode-Grafik_buzzer EcoMode-Grafik_buzzer_ECO
    EcoMode-Grafik_display EcoMode-Grafik_display_ECO
    K2-back K2-front Kelvo-Back Kelvo-On tvKelvo-Back tvKelvo-On tvKelvo2Mini-Back tvKelvo2Mini-Front
    Logo MinMax_min-aktiv MinMax_min-limit MinMax_min-normal MinMax_max-aktiv MinMax_max-limit MinMax_max-normal
    arrow_turn charging coverage_off coverage_on
    eco-signal-1-3 eco-signal-2-3 eco-signal-3-3 eco-signal-1-4 eco-signal-2-4 eco-signal-3-4 eco-signal-4-4
    infoblase-downwards infoblase-upwards shadow-bottom shadow-top)
  kelvo_artwork(gui/${picture} ${picture}.svg)
endforeach()
kelvo_artwork(gui/lock-128 lock.svg 128)
kelvo_artwork(gui/lock-256 lock.svg 256)
kelvo_artwork(icon/tray app-icon.svg 64)
kelvo_artwork(icon/kelvo-central app-icon.svg 256)
set(KELVO_APPLICATION_ICON ${_artwork_dir}/icon/kelvo-central.png)

# Translations are compiled with Qt Linguist's lrelease and shipped inside the resources.
set_source_files_properties(translations/kelvocentral_de_DE.ts PROPERTIES OUTPUT_LOCATION ${_artwork_dir}/i18n)
qt5_add_translation(_translation_qms translations/kelvocentral_de_DE.ts)
set(_translation_qrc_entries)
foreach(qm ${_translation_qms})
  get_filename_component(qm_name ${qm} NAME)
  string(APPEND _translation_qrc_entries "    <file alias=\"i18n/${qm_name}\">artwork/i18n/${qm_name}</file>\n")
endforeach()

set(_qrc ${CMAKE_CURRENT_BINARY_DIR}/kelvo_resources.qrc)
file(WRITE ${_qrc}.in "<RCC>\n  <qresource prefix=\"/\">\n${_artwork_qrc_entries}${_translation_qrc_entries}${_licence_qrc_entries}  </qresource>\n</RCC>\n")
configure_file(${_qrc}.in ${_qrc} COPYONLY)

set(KELVO_RESOURCE_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/qrc_kelvo_resources.cpp)
add_custom_command(OUTPUT ${KELVO_RESOURCE_SOURCE}
  COMMAND Qt5::rcc --name kelvo_resources --output ${KELVO_RESOURCE_SOURCE} ${_qrc}
  DEPENDS ${_qrc} ${_artwork_pngs} ${_translation_qms} ${_licence_files}
  COMMENT "Compiling the application resources"
  VERBATIM)
set_source_files_properties(${KELVO_RESOURCE_SOURCE} PROPERTIES SKIP_AUTOMOC ON SKIP_AUTOUIC ON)
