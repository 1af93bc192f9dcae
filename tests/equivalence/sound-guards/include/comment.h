/* comment.h */
#ifndef COMMENT_H // guard
#define COMMENT_H
int comment;
#endif // COMMENT_H
/* end */
