################################################################################
#
# zuqutil
#
################################################################################

ZUQUTIL_VERSION = 1.0
ZUQUTIL_SITE = $(BR2_EXTERNAL_MORVID_TEST_PATH)/../..
ZUQUTIL_SITE_METHOD = local
ZUQUTIL_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS = --exclude=/build*
ZUQUTIL_INSTALL_STAGING = YES

define ZUQUTIL_BUILD_CMDS
	$(TARGET_CXX) $(TARGET_CXXFLAGS) $(TARGET_LDFLAGS) -std=c++17 -shared \
		-fPIC -I$(@D) -o $(@D)/libzuqutil.so $(@D)/devutil/host/*.cpp
endef

define ZUQUTIL_INSTALL_STAGING_CMDS
	$(INSTALL) -D -m 0755 $(@D)/libzuqutil.so $(STAGING_DIR)/usr/lib/libzuqutil.so
endef

define ZUQUTIL_INSTALL_TARGET_CMDS
	$(INSTALL) -D -m 0755 $(@D)/libzuqutil.so $(TARGET_DIR)/usr/lib/libzuqutil.so
endef

$(eval $(generic-package))
