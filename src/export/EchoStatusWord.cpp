#include "export/LatmoMetrics.h"

std::string EchoStatusWord(int echoError) {
    switch (echoError) {
        case 0:  // a reply, but after the time-out
        case IP_REQ_TIMED_OUT:
            return "timed_out";
        case IP_DEST_NET_UNREACHABLE:
            return "net_unreachable";
        case IP_DEST_HOST_UNREACHABLE:
            return "host_unreachable";
        case IP_DEST_PROT_UNREACHABLE:
            return "protocol_unreachable";
        case IP_DEST_PORT_UNREACHABLE:
            return "port_unreachable";
        case IP_TTL_EXPIRED_TRANSIT:
        case IP_TTL_EXPIRED_REASSEM:
            return "ttl_expired";
        case IP_PACKET_TOO_BIG:
            return "packet_too_big";
        case IP_PARAM_PROBLEM:
            return "parameter_problem";
        case IP_SOURCE_QUENCH:
            return "source_quench";
        case IP_BAD_DESTINATION:
            return "bad_destination";
        case IP_NO_RESOURCES:
        case IP_BUF_TOO_SMALL:
            return "no_resources";
        case ECHO_ERROR_ACCESS_DENIED:
            return "not_permitted";
        default:
            return "other";
    }
}
