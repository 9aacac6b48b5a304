# Gives the installed program CAP_NET_RAW where the system does not let every user send ICMP echo.
#
# The echo probe first tries the unprivileged ICMP datagram socket, which the kernel allows only to the groups in
# net.ipv4.ping_group_range; outside it, the probe needs a raw socket and so CAP_NET_RAW, given to the file as
# ping gets it. A missing or failing setcap only warns: the program still runs, but finds every device and camera
# down, so the message says how to fix it by hand.
#
# Run at install time (see Install.cmake) or with cmake -P. Inputs:
#   PYLVANE_EXE         the installed executable (required)
#   PYLVANE_RANGE_FILE  default /proc/sys/net/ipv4/ping_group_range
#   PYLVANE_GROUPS      group ids that must be covered; default the installing user's group when run through
#                       sudo, otherwise those ordinary accounts get on Debian ("users", and the range adduser uses)
#   PYLVANE_SETCAP      the setcap program; default looked up
if(NOT PYLVANE_EXE)
    message(FATAL_ERROR "PYLVANE_EXE not set")
endif()
if(NOT DEFINED PYLVANE_RANGE_FILE)
    set(PYLVANE_RANGE_FILE /proc/sys/net/ipv4/ping_group_range)
endif()
if(NOT DEFINED PYLVANE_GROUPS)
    if(DEFINED ENV{SUDO_GID})
        set(PYLVANE_GROUPS $ENV{SUDO_GID})
    else()
        set(PYLVANE_GROUPS 100 1000 59999)
    endif()
endif()

set(need_capability TRUE)
if(NOT CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
    set(need_capability FALSE)
elseif(EXISTS "${PYLVANE_RANGE_FILE}")
    file(READ "${PYLVANE_RANGE_FILE}" range)
    string(STRIP "${range}" range)
    # An empty or unreadable range ("1 0" is the kernel's "nobody") covers no group.
    set(covered FALSE)
    if(range MATCHES "^([0-9]+)[ \t]+([0-9]+)$")
        set(covered TRUE)
        foreach(gid IN LISTS PYLVANE_GROUPS)
            if(gid LESS CMAKE_MATCH_1 OR gid GREATER CMAKE_MATCH_2)
                set(covered FALSE)
            endif()
        endforeach()
    endif()
    if(covered)
        message(STATUS "Unprivileged ICMP echo is allowed (ping_group_range ${range}): no capability needed")
        set(need_capability FALSE)
    else()
        message(STATUS "Unprivileged ICMP echo is not allowed to all users (ping_group_range ${range})")
    endif()
endif()

if(need_capability)
    if(NOT DEFINED PYLVANE_SETCAP)
        find_program(PYLVANE_SETCAP setcap PATHS /usr/sbin /sbin NO_CACHE)
    endif()
    set(manual "as root: setcap cap_net_raw+ep ${PYLVANE_EXE}")
    if(NOT PYLVANE_SETCAP OR NOT EXISTS "${PYLVANE_SETCAP}")
        message(WARNING "setcap not found (Debian package libcap2-bin). Pylvane cannot probe devices and cameras "
                        "until it may send ICMP echo: install it and run ${manual}")
    else()
        execute_process(COMMAND "${PYLVANE_SETCAP}" cap_net_raw+ep "${PYLVANE_EXE}"
                        RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_QUIET)
        if(result EQUAL 0)
            message(STATUS "Gave ${PYLVANE_EXE} the capability cap_net_raw+ep to send ICMP echo")
        else()
            string(STRIP "${error}" error)
            if(NOT error)
                set(error "exit status ${result}")
            endif()
            message(WARNING "setcap failed (${error}). Pylvane cannot probe devices and cameras until it may send "
                            "ICMP echo: run ${manual}")
        endif()
    endif()
endif()
