#ifndef CFG_H
#define CFG_H
int cfg_h;
#endif
