#ifndef MALVORANT_DCMASSOCSETUP_H
#define MALVORANT_DCMASSOCSETUP_H

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmnet/assoc.h>

// Frees what a requesting client has made so far when its set-up fails: the
// association (which owns its parameters) or else the bare parameters, then
// the network. Each pointer may be null and is null afterwards.
void dcmFreeAssociationSetup(T_ASC_Association** assoc, T_ASC_Parameters** params,
                             T_ASC_Network** net);

#endif
