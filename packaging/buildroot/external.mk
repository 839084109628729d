include $(sort $(wildcard $(BR2_EXTERNAL_MORVID_PATH)/package/*/*.mk))
