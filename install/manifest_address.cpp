#include "install/manifests.h"

#ifndef HOLLOWBRANCH_UPDATE_HOST
#define HOLLOWBRANCH_UPDATE_HOST "update.hollowbranch.example"
#endif

const char* const ManifestAddress = "https://" HOLLOWBRANCH_UPDATE_HOST "/general_fileinfo.ini";
