#ifndef CONFIG_H
#define CONFIG_H
int config;
#endif
