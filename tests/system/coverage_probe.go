// Fetches http://NAME/ the way a Go program does; exit 0 when a response came back. Built once
// with cgo (the C library resolves) and once without (Go asks DNS itself).
package main

import (
	"net/http"
	"os"
	"time"
)

func main() {
	client := http.Client{Timeout: 5 * time.Second}
	response, err := client.Get("http://" + os.Args[1] + "/")
	if err != nil {
		os.Exit(1)
	}
	response.Body.Close()
}
