// The server's TLS: a context made once from the certificate and key files, shared by every
// connection. Without OpenSSL in the build there is none, and asking for it says so.
#include "http_server.h"
#include "server_impl.h"

#if defined(PXR7_HAVE_TLS)
#include <boost/asio/ssl/context.hpp>

#include <openssl/ssl.h>
#endif

namespace pxr7 {

#if defined(PXR7_HAVE_TLS)

bool DashboardServer::tlsBuilt() {
    return true;
}

bool DashboardServer::speakTls(const std::string& certificateFile, const std::string& keyFile,
                               std::string& problem) {
    namespace ssl = boost::asio::ssl;
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    // TLS 1.2 and later only.
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                         ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                         ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    boost::system::error_code error;
    context->use_certificate_chain_file(certificateFile, error);
    if (error) {
        problem = "the certificate " + certificateFile + " cannot be used: " + error.message();
        return false;
    }
    context->use_private_key_file(keyFile, ssl::context::pem, error);
    if (error) {
        problem = "the key " + keyFile + " cannot be used: " + error.message();
        return false;
    }
    if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
        problem = "the key " + keyFile + " is not the certificate's";
        return false;
    }
    impl_->tls = std::move(context);
    return true;
}

#else

bool DashboardServer::tlsBuilt() {
    return false;
}

bool DashboardServer::speakTls(const std::string&, const std::string&, std::string& problem) {
    problem = "this build has no TLS: serve on loopback and put a TLS proxy in front (see the "
              "guide)";
    return false;
}

#endif

} // namespace pxr7
