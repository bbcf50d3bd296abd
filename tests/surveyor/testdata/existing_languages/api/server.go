package api

import (
	"fmt"
	"net/http"
)

type Server struct {
	Addr string
}

func (s *Server) Start() error {
	fmt.Println("listening on", s.Addr)
	return http.ListenAndServe(s.Addr, nil)
}
