#include "xml/xml_node_access.h"
