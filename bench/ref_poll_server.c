/* The bare reference for the server: one poll loop on port 3950 that answers the same
 * bytes as nexolt-demo (the keep-alive reply, the booking greeting for the card in
 * field 7, the terminal-number reply) and logs nothing. One connection at a time, the
 * newest wins. Three system calls per request: poll, recv, send.
 *   ref_poll_server */
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static const char kAlive[] = "{\"success\":true,\"error\":\"send alive\"}";
static const char kTermnr[] = "{\"success\":true,\"error\":\"got termnr\"}";

/* The greeting for the booking `request` (field 7 is the card) into `reply`. */
static int booking(const char* request, char* reply, size_t size) {
    const char* card = request;
    for (int field = 1; field < 7 && card != NULL; ++field) {
        card = strchr(card, ',');
        if (card != NULL) ++card;
    }
    if (card == NULL) card = "";
    const size_t card_length = strcspn(card, ",");
    return snprintf(reply, size,
                    "{\"success\":true,\"error\":\"SALDO\",\"name\":\"Hi %.*s again\",\"kumsal\":\"+0:15\","
                    "\"kumsaloms\":\"Balance\"}",
                    (int)card_length, card);
}

int main(void) {
    signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(3950)};
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 || listen(listener, 1) != 0) {
        perror("ref_poll_server");
        return 1;
    }
    struct pollfd fds[2] = {{listener, POLLIN, 0}, {-1, POLLIN, 0}};
    char request[1025];
    char reply[2048];
    for (;;) {
        if (poll(fds, 2, -1) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int accepted = accept(listener, NULL, NULL);
            if (accepted >= 0) {
                if (fds[1].fd >= 0) close(fds[1].fd);
                fds[1].fd = accepted;
            }
        }
        if (fds[1].fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = recv(fds[1].fd, request, 1024, 0);
            if (n <= 0) {
                close(fds[1].fd);
                fds[1].fd = -1;
                continue;
            }
            request[n] = '\0';
            if (strcmp(request, "get_alive,") == 0) {
                send(fds[1].fd, kAlive, sizeof kAlive - 1, 0);
            } else if (strncmp(request, "regi", 4) == 0) {
                send(fds[1].fd, reply, (size_t)booking(request, reply, sizeof reply), 0);
            } else if (strncmp(request, "snd_termnr,", 11) == 0) {
                send(fds[1].fd, kTermnr, sizeof kTermnr - 1, 0);
            }
        }
    }
}
