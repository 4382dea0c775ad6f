// The server of two engines side by side: listens on the port in port.txt,
// answers the client's line, and sees the client close.
#include "tob.h"  // copied beside the script by run_net.sh
#include "check.h"  // likewise

int read_port()
{
    void *f;
    char line[16];
    f = fopen("port.txt", "r");
    if (f == 0) return 0;
    fgets(line, 16, f);
    fclose(f);
    return atoi(line);
}

int main()
{
    char buf[64];
    int got;
    int n;
    int tries;

    check(net_open(0, read_port()) == 1, "net_open as a server");
    check(net_state() == 1, "the server runs");
    check(net_send(5, "x", 1) == -1, "slot 5 gives -1");

    // The client's line arrives in slot 0.
    got = 0;
    for (tries = 0; got < 17 && tries < 2000; tries++) {
        n = net_recv(0, buf + got, 17 - got);
        if (n > 0) got = got + n;
        else sleep(10);
    }
    check(got == 17 && memcmp(buf, "ping from client\n", 17) == 0, "the client's line");
    check(net_send(0, "pong from server\n", 17) == 17, "the answer");

    // The slot closes once the client has gone.
    n = 0;
    for (tries = 0; n >= 0 && tries < 1000; tries++) {
        n = net_recv(0, buf, 64);
        if (n >= 0) sleep(10);
    }
    check(n == -1, "the slot closes after the client");
    check(net_close() == 1, "net_close");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
