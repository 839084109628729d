################################################################################
#
# morvid
#
################################################################################

MORVID_VERSION = 1.0
# This tree lives in morvid's own sources; their build trees stay behind.
MORVID_SITE = $(BR2_EXTERNAL_MORVID_PATH)/../..
MORVID_SITE_METHOD = local
MORVID_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS = --exclude=/build*
MORVID_LICENSE = MIT
MORVID_LICENSE_FILES = LICENSE
MORVID_DEPENDENCIES = $(call qstrip,$(BR2_PACKAGE_MORVID_DEVUTIL_PACKAGE))
MORVID_CONF_OPTS = -DMORVID_DEVUTIL_LIB=$(call qstrip,$(BR2_PACKAGE_MORVID_DEVUTIL_LIB))

define MORVID_INSTALL_INIT_SYSV
	$(INSTALL) -D -m 0755 $(MORVID_PKGDIR)/S50morvid \
		$(TARGET_DIR)/etc/init.d/S50morvid
endef

$(eval $(cmake-package))
