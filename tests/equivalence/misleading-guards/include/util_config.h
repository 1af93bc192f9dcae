#ifndef UTIL_CONFIG_H
#define UTIL_CONFIG_H
int util_config;
#endif
