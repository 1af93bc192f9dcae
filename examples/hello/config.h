/* Looked for in the current directory: quoted includes are found there. */
#ifndef CONFIG_H
#define CONFIG_H

#define GREETING "hello"

#endif
