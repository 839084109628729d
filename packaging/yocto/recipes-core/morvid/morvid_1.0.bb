SUMMARY = "Router supervision daemon: keeps boa and dnrd running, follows the WAN link"
LICENSE = "CLOSED"

# This layer lives in morvid's own sources.
inherit externalsrc cmake update-rc.d
EXTERNALSRC = "${@os.path.abspath(d.getVar('THISDIR') + '/../../../..')}"

EXTRA_OECMAKE = "-DBUILD_TESTING=OFF"
# The device's own libzuqutil.so; without it the generic Linux library is
# built and shipped with morvid.
PACKAGECONFIG ??= ""
PACKAGECONFIG[devutil] = "-DMORVID_DEVUTIL_LIB=${STAGING_LIBDIR}/libzuqutil.so,,zuqutil"

INITSCRIPT_NAME = "morvid"
INITSCRIPT_PARAMS = "defaults 50"

do_install:append() {
	install -D -m 0755 ${S}/packaging/buildroot/package/morvid/S50morvid ${D}${sysconfdir}/init.d/morvid
}

# The library has no version in its name: it is the run-time file, not a
# development link.
FILES_SOLIBSDEV = ""
FILES:${PN} += "${libdir}/libzuqutil.so"
INSANE_SKIP:${PN} += "dev-so"
