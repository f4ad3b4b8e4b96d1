// A page that includes another page's header.
#include "apage.h"
#include "bpage.h"
#include "keyboardpages.h"
