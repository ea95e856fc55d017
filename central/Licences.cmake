# SPDX-License-Identifier: Apache-2.0
# Licence texts of the libraries the program ships with, taken from the libraries' own Debian copyright files when
# the build is configured and compiled into the resources as ":/res/licence/<name>" (the About view's licence tabs).
# Each library names the packages that may carry its copyright file, newest name first; the first one found is used.
set(_licence_dir ${CMAKE_CURRENT_BINARY_DIR}/artwork/licence)
file(MAKE_DIRECTORY ${_licence_dir})
set(_licence_qrc_entries)
set(_licence_files)

function(kelvo_licence name)
  foreach(package ${ARGN})
    set(copyright /usr/share/doc/${package}/copyright)
    if(EXISTS ${copyright})
      configure_file(${copyright} "${_licence_dir}/${name}" COPYONLY)
      set(_licence_qrc_entries
          "${_licence_qrc_entries}    <file alias=\"res/licence/${name}\">artwork/licence/${name}</file>\n" PARENT_SCOPE)
      set(_licence_files ${_licence_files} "${_licence_dir}/${name}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(WARNING "No copyright file of ${name} (looked for the packages ${ARGN}); the About view shows no licence text for it")
endfunction()

kelvo_licence("OpenSSL" libssl3t64 libssl3)
kelvo_licence("Qt" libqt5core5t64 libqt5core5a)
kelvo_licence("Qt WebEngine" libqt5webenginecore5)
kelvo_licence("libzip" libzip5 libzip4t64 libzip4)
kelvo_licence("libusb" libusb-1.0-0)
kelvo_licence("sdbus-c++" libsdbus-c++2 libsdbus-c++1)
kelvo_licence("pcsc-lite" libpcsclite1t64 libpcsclite1)
kelvo_licence("RapidXML" librapidxml-dev)

# Versions of the libraries that cannot tell theirs at run time: the ones built against.
find_package(Qt5WebEngineWidgets 5.15 REQUIRED)
find_package(sdbus-c++ REQUIRED)
execute_process(COMMAND dpkg-query -W -f=\${Version} librapidxml-dev
                OUTPUT_VARIABLE _rapidxml_version ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "-[^-]*$" "" _rapidxml_version "${_rapidxml_version}")
set(KELVO_LIBRARY_VERSION_DEFINITIONS
  KELVO_QT_WEBENGINE_VERSION="${Qt5WebEngineWidgets_VERSION}"
  KELVO_SDBUSCPP_VERSION="${sdbus-c++_VERSION}"
  KELVO_RAPIDXML_VERSION="${_rapidxml_version}")
