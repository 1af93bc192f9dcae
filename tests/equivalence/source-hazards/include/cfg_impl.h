#ifndef CFG_IMPL_H
#define CFG_IMPL_H
int cfg_impl;
#endif
