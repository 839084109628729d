include $(sort $(wildcard $(BR2_EXTERNAL_MORVID_TEST_PATH)/package/*/*.mk))
