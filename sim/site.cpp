// The marketplace simulator's pages and server.
