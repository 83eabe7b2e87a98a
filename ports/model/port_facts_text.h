// The facts of a port's device as lines a person reads: only the facts that are known, one
// per line, joined by line feeds; empty when nothing is known.
#pragma once

#include <string>

#include "ports/model/port_facts.h"

std::string DescribePortFacts(const PortFacts& facts);
