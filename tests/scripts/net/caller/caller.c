// The client of two engines side by side: finds the server's port in
// port.txt, connects (trying again while the server starts), exchanges a
// line and closes.
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
    int port;
    int attempt;
    int tries;
    int got;
    int n;

    port = read_port();
    for (attempt = 0; attempt < 50; attempt++) {
        net_open("127.0.0.1", port);
        for (tries = 0; net_state() == 2 && tries < 200; tries++) sleep(10);
        if (net_state() == 1) break;
        sleep(100);
    }
    check(net_state() == 1, "connected to the other engine");
    check(net_send(0, "ping from client\n", 17) == 17, "the line goes out");
    got = 0;
    for (tries = 0; got < 17 && tries < 1000; tries++) {
        n = net_recv(0, buf + got, 17 - got);
        if (n > 0) got = got + n;
        else sleep(10);
    }
    check(got == 17 && memcmp(buf, "pong from server\n", 17) == 0, "the answer comes back");
    check(net_close() == 1, "net_close");

    log_out("%d passed, %d failed", passed, failed);
    return failed;
}
