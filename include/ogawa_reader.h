/* The Ogawa archive reader and everything that works on its polygon meshes.
 * Hosts include this one header. */
#ifndef OGAWA_READER_H
#define OGAWA_READER_H

#include "ogawa_polymesh.h"
#include "ogawa_archive.h"
#include "ogawa_attributes.h"
#include "ogawa_topology.h"

#endif /* OGAWA_READER_H */
