/* zelset: the token unit and everything both libraries share (zelset and
 * zelset_next). Hosts include this one header. */
#ifndef ZELSET_H
#define ZELSET_H

#include "zel_agent.h"
#include "zel_unit.h"

#endif /* ZELSET_H */
