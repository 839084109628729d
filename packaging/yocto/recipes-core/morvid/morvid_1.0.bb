SUMMARY = "Router supervision daemon: keeps boa and dnrd running, follows the WAN link"
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=c62b1a0a232708a6cd63e8ccdcd90e1c"

# The sources are the tree this layer lives in: the files the build needs,
# and the licence. (To build from a working copy instead, use devtool, or
# externalsrc from local.conf.)
FILESEXTRAPATHS:prepend := "${THISDIR}/../../../..:"
SRC_URI = "\
    file://CMakeLists.txt;subdir=morvid \
    file://LICENSE;subdir=morvid \
    file://cmake;subdir=morvid \
    file://daemon;subdir=morvid \
    file://devutil;subdir=morvid \
    file://os;subdir=morvid \
    file://services;subdir=morvid \
    file://wan;subdir=morvid \
    file://morvid.init \
"
S = "${WORKDIR}/morvid"

inherit cmake update-rc.d

EXTRA_OECMAKE = "-DBUILD_TESTING=OFF"
# The device's own libzuqutil.so; without it the generic Linux library is
# built and shipped with morvid.
PACKAGECONFIG ??= ""
PACKAGECONFIG[devutil] = "-DMORVID_DEVUTIL_LIB=${STAGING_LIBDIR}/libzuqutil.so,,zuqutil"

INITSCRIPT_NAME = "morvid"
INITSCRIPT_PARAMS = "defaults 50"

do_install:append() {
	install -D -m 0755 ${WORKDIR}/morvid.init ${D}${sysconfdir}/init.d/morvid
}

# The library has no version in its name: it is the run-time file, not a
# development link.
FILES_SOLIBSDEV = ""
FILES:${PN} += "${libdir}/libzuqutil.so"
INSANE_SKIP:${PN} += "dev-so"
