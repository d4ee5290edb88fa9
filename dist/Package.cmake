# The Debian package: everything the install rules above put in place, under /usr. Built by
# `bash scripts/pelcato.sh package`, which configures a Release build with the prefix /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelcato)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pelcato developers")
set(CPACK_PACKAGE_CONTACT "${PELCATO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut and split MP3 files without re-encoding them")
# The long description, in lines that fit an 80-column terminal; an empty line parts paragraphs.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Pelcato opens an MP3 file, shows its encoding, channel mode, sample rate,"
  "bit rate, length and ID3v1 tag, previews it, and saves the range between a"
  "start and an end marker as a new MP3 file made of whole frames copied byte"
  "for byte. It also splits a file into equal parts or into pieces of a given"
  "length. The source file is never changed."
  ""
  "The package holds the desktop program and pelcato-cli, which does the same"
  "cutting and splitting from the command line and also splits by a cue sheet,"
  "at silences or by size.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.pelcato.example/)
# pelcato_VERSION_ARCH.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

# The run-time libraries come from what the programs link, through dpkg-shlibdeps: a library a
# later change links is a dependency without anyone listing it, and nothing of the build (the
# compiler, -dev packages) or of the tests becomes one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Folders as Debian expects them whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
