/* zelset: the token unit and everything both libraries share (zelset and
 * zelset_next). Hosts include this one header. */
#ifndef ZELSET_H
#define ZELSET_H

#include "zel_agent.h"
#include "zel_matrix48.h"
#include "zel_mesh_checks.h"
#include "zel_roots.h"
#include "zel_unit.h"

#endif /* ZELSET_H */
