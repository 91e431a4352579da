#!/usr/bin/env python3
"""A fake vendor sign-in site on 127.0.0.1 for the sign-in program's tests.

    signin_site.py [CERTIFICATE KEY]     HTTPS with the given PEM files, else HTTP

Every host name is mapped to 127.0.0.1 by the web engine's host rules; the site answers by the Host
header and the path. It prints its port on the first line of standard output, then serves until killed.

  chatgpt.test/auth/login     sets the second part of the session token (a __Secure- name: HTTPS only)
  claude.test/login           sets theme=dark and an empty cookie, then goes on to /welcome
  claude.test/welcome         sets the session cookie sessionKey on the domain claude.test
  claude.test/login/wait      sets theme=dark only and stays (a sign-in page: no address rule)
  notclaude.test/login        sets a sessionKey of its own, then goes on to claude.test/login/wait
  accounts.vendor.test/ServiceLogin   sets SID on vendor.test, then redirects to ?continue
  authenticator.cursor.test/  sets WorkosCursorSessionToken on its own host
  localhost/login             Claude on one origin the usage requests reach too: sets theme=dark and an
                              empty cookie, then goes on to /welcome
  localhost/welcome           sets the session cookie sessionKey on its own host
  localhost/api/...           Claude's organizations and usage; each such request is printed as
                              "request <path> <Cookie header>" on standard output
  anything else               a page that sets nothing
"""
import http.server
import ssl
import sys
import urllib.parse


def page(next_url=None):
    refresh = f'<meta http-equiv="refresh" content="0; url={next_url}">' if next_url else ''
    return (f'<!doctype html><html><head>{refresh}<title>sign in</title></head>'
            '<body><p>Sign in</p><script>console.log("secret in the console")</script></body></html>').encode()


class Site(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def json(self, text):
        body = text.encode()
        self.send_response(200)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def answer(self, cookies, body=None, status=200, location=None):
        self.send_response(status)
        for cookie in cookies:
            self.send_header('Set-Cookie', cookie)
        if location:
            self.send_header('Location', location)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.send_header('Cache-Control', 'no-store')
        body = body if body is not None else b''
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        host = self.headers.get('Host', '')
        name, _, port = host.partition(':')
        url = urllib.parse.urlsplit(self.path)
        scheme = 'https' if len(sys.argv) > 2 else 'http'
        here = f'{scheme}://{name}:{port}'
        if url.path == '/favicon.ico':
            self.answer([], status=404)
        elif name == 'chatgpt.test' and url.path == '/auth/login':
            self.answer(['__Secure-next-auth.session-token.0=part0; Secure; Path=/; Domain=chatgpt.test'], page())
        elif name == 'claude.test' and url.path == '/login':
            self.answer(['theme=dark; Path=/', 'empty=; Path=/'], page(here + '/welcome'))
        elif name == 'claude.test' and url.path == '/welcome':
            self.answer(['sessionKey=sk-ant-test; Domain=claude.test; Path=/'], page())
        elif name == 'claude.test' and url.path == '/login/wait':
            self.answer(['theme=dark; Path=/'], page())
        elif name == 'notclaude.test' and url.path == '/login':
            self.answer(['sessionKey=evil; Path=/'], page(f'{scheme}://claude.test:{port}/login/wait'))
        elif name == 'accounts.vendor.test' and url.path == '/ServiceLogin':
            target = urllib.parse.parse_qs(url.query).get('continue', [''])[0]
            self.answer(['SID=sid-test; Domain=vendor.test; Path=/'], status=302, location=target)
        elif name == 'gemini.vendor.test':
            self.answer([], page())
        elif name == 'localhost' and url.path == '/login':
            self.answer(['theme=dark; Path=/', 'empty=; Path=/'], page(here + '/welcome'))
        elif name == 'localhost' and url.path == '/welcome':
            self.answer(['sessionKey=sk-ant-local; Path=/; Secure'], page())
        elif name == 'localhost' and url.path.startswith('/api/'):
            print('request', url.path, self.headers.get('Cookie', '-'), flush=True)
            if url.path == '/api/organizations':
                self.json('[{"uuid":"org-local"}]')
            elif url.path == '/api/organizations/org-local/usage':
                self.json('{"five_hour":{"utilization":37},"seven_day":{"utilization":22}}')
            else:
                self.answer([], status=404)
        elif name == 'authenticator.cursor.test' and url.path == '/':
            self.answer(['WorkosCursorSessionToken=user%3A%3Atok; Path=/'], page())
        else:
            self.answer([], page())


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Site)
if len(sys.argv) > 2:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
try:
    server.serve_forever()
except KeyboardInterrupt:
    pass
