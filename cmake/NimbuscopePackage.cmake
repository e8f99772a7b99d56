# Debian packages through CPack: "nimbuscope" holds the two programs, their data files, the
# desktop entries and the icon; "nimbuscope-noaa-sim" the local NOAA-format server, for trying
# the saver without the real service. Build them with the package preset:
#     cmake --preset package && cmake --build --preset package && cpack --preset package
set(NIMBUSCOPE_CONTACT "Nimbuscope maintainers <nimbuscope@calderwick.example>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbuscope)
set(CPACK_PACKAGE_VENDOR Calderwick)
set(CPACK_PACKAGE_CONTACT "${NIMBUSCOPE_CONTACT}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY nimbuscope)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL saver)
if(TARGET noaa-sim)
  list(APPEND CPACK_COMPONENTS_ALL noaasim)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NIMBUSCOPE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt 6 libraries, libxcb and the C++ runtime are found from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_SAVER_PACKAGE_NAME nimbuscope)
# The screen's texts are laid out for Liberation Sans; without any font Qt draws no text.
set(CPACK_DEBIAN_SAVER_PACKAGE_DEPENDS "fonts-liberation")
# The first line of each description is the package's summary.
set(CPACK_COMPONENT_SAVER_DESCRIPTION
    "weather-radar screen saver for X11\n\
Nimbuscope shows the newest radar frames for a US zip code or radar site,\n\
animated, with the current conditions beside them. It downloads them from\n\
NOAA-format web pages and caches them per user. Includes nimbuscope (saver,\n\
preview and settings) and nimbuscope-launcher.")

set(CPACK_DEBIAN_NOAASIM_PACKAGE_NAME nimbuscope-noaa-sim)
set(CPACK_DEBIAN_NOAASIM_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_NOAASIM_DESCRIPTION
    "local NOAA-format server for trying Nimbuscope\n\
nimbuscope-noaa-sim answers on loopback in the forms of NOAA's old location\n\
pages, radar loop lists, radar frames and condition pictures, and prints the\n\
settings that point Nimbuscope at it.")

include(CPack)
