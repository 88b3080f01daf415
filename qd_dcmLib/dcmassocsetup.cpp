#include "dcmassocsetup.h"

void dcmFreeAssociationSetup(T_ASC_Association** assoc, T_ASC_Parameters** params,
                             T_ASC_Network** net)
{
    if (*assoc)
        ASC_destroyAssociation(assoc);
    else if (*params)
        ASC_destroyAssociationParameters(params);
    *assoc = nullptr;
    *params = nullptr;
    if (*net)
        ASC_dropNetwork(net);
    *net = nullptr;
}
