// A page that reaches up to the window by a path into its folder.
#include "apage.h"
#include "../app/tform1.h"
