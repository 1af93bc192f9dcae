# /* Boost.Preprocessor style */
#
# ifndef NULLDIR_H
# define NULLDIR_H
int nulldir;
# endif
