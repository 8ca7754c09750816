#include "docservices.h"

DocServices &docServices()
{
    static DocServices services;
    return services;
}
